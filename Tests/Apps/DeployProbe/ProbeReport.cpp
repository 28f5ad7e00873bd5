/** @file
  What a boot left behind: firmware, loaded images, setup variables, the IIO
  source HOB and the FRU access protocol.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "ProbeReport.h"

#include <Guid/GlobalVariable.h>
#include <Guid/HobList.h>
#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Library/TavriBaseLib.h>
#include <Protocol/DevicePath.h>
#include <Protocol/FruAccess.h>
#include <Protocol/LoadedImage.h>

#include "ProbeOutput.h"
#include "../Common/SetupSeed.h"

namespace {

constexpr UINTN  MAX_IMAGE_HANDLES    = 512;
constexpr UINTN  MAX_PATH_NODES       = 16;

EFI_HANDLE  mHandles[MAX_IMAGE_HANDLES];
UINT8       mIioVariable[SOCKET_IIO_CONFIG_SIZE];

UINT16
NodeLength (
  IN CONST EFI_DEVICE_PATH_PROTOCOL  *Node
  )
{
  return static_cast<UINT16>(Node->Length[0] | (Node->Length[1] << 8));
}

/**
  Write the nodes of a file path: a file name as its text, a firmware-volume
  file as FvFile(GUID), anything else as its type and subtype.

  @return TRUE when the path names a file of a file system.
**/
BOOLEAN
PutFilePath (
  IN CONST EFI_DEVICE_PATH_PROTOCOL  *Path
  )
{
  BOOLEAN  IsFile = FALSE;

  if (Path == NULL) {
    Put ("none");
    return FALSE;
  }

  for (UINTN Count = 0; Count < MAX_PATH_NODES; Count++) {
    UINT16  Length = NodeLength (Path);
    if ((Path->Type == END_DEVICE_PATH_TYPE) || (Length < sizeof (EFI_DEVICE_PATH_PROTOCOL))) {
      break;
    }

    if ((Path->Type == MEDIA_DEVICE_PATH) && (Path->SubType == MEDIA_FILEPATH_DP)) {
      PutWide (reinterpret_cast<CONST CHAR16 *>(Path + 1), (Length - sizeof (EFI_DEVICE_PATH_PROTOCOL)) / sizeof (CHAR16));
      IsFile = TRUE;
    } else if ((Path->Type == MEDIA_DEVICE_PATH) && (Path->SubType == MEDIA_PIWG_FW_FILE_DP) &&
               (Length >= sizeof (EFI_DEVICE_PATH_PROTOCOL) + sizeof (EFI_GUID)))
    {
      EFI_GUID  Name;
      gProbeBs->CopyMem (&Name, const_cast<EFI_DEVICE_PATH_PROTOCOL *>(Path + 1), sizeof (Name));
      Put ("FvFile(");
      PutGuid (Name);
      Put (")");
    } else {
      Put ("node(");
      PutHex (Path->Type, 2);
      Put (",");
      PutHex (Path->SubType, 2);
      Put (")");
    }

    Path = reinterpret_cast<CONST EFI_DEVICE_PATH_PROTOCOL *>(reinterpret_cast<CONST UINT8 *>(Path) + Length);
  }

  return IsFile;
}

BOOLEAN
HasFileNode (
  IN CONST EFI_DEVICE_PATH_PROTOCOL  *Path
  )
{
  for (UINTN Count = 0; Path != NULL && Count < MAX_PATH_NODES; Count++) {
    UINT16  Length = NodeLength (Path);
    if ((Path->Type == END_DEVICE_PATH_TYPE) || (Length < sizeof (EFI_DEVICE_PATH_PROTOCOL))) {
      return FALSE;
    }

    if ((Path->Type == MEDIA_DEVICE_PATH) && (Path->SubType == MEDIA_FILEPATH_DP)) {
      return TRUE;
    }

    Path = reinterpret_cast<CONST EFI_DEVICE_PATH_PROTOCOL *>(reinterpret_cast<CONST UINT8 *>(Path) + Length);
  }

  return FALSE;
}

/**
  Find the IIO source HOB in the HOB list of the configuration table.

  @return "present", "absent", "no-hob-list" or "malformed".
**/
CONST CHAR8 *
IioSourceHobState (
  VOID
  )
{
  CONST VOID  *HobList = TavriFindConfigurationTable (gProbeSt, &gEfiHobListGuid);
  CONST VOID  *Data;
  UINTN       DataSize;

  if (HobList == NULL) {
    return "no-hob-list";
  }

  switch (TavriFindGuidHob (HobList, &gIioSourceHobGuid, &Data, &DataSize)) {
    case EFI_SUCCESS:
      return "present";
    case EFI_NOT_FOUND:
      return "absent";
    default:
      return "malformed";
  }
}

VOID
PutCrc32 (
  IN CONST VOID  *Data,
  IN UINTN       Size
  )
{
  UINT32  Crc = 0;

  gProbeBs->CalculateCrc32 (const_cast<VOID *>(Data), Size, &Crc);
  Put (" crc32=");
  PutHex (Crc, 8);
}

}  // namespace

VOID
ReportFirmware (
  VOID
  )
{
  UINT8       SecureBoot = 0;
  UINTN       Size       = sizeof (SecureBoot);
  EFI_STATUS  Status     = gProbeRt->GetVariable (u"SecureBoot", &gEfiGlobalVariableGuid, NULL, &Size, &SecureBoot);

  Put ("TAVRI firmware vendor=");
  PutWide (gProbeSt->FirmwareVendor, 32);
  Put (" uefi=");
  PutHex (gProbeSt->Hdr.Revision, 8);
  Put (" secure-boot=");
  if (EFI_ERROR (Status)) {
    Put ("absent");
  } else {
    PutDec (SecureBoot);
  }

  Put ("\n");
}

VOID
ReportLoadedImages (
  IN EFI_HANDLE  Self
  )
{
  UINTN       Size   = sizeof (mHandles);
  EFI_STATUS  Status = gProbeBs->LocateHandle (ByProtocol, &gEfiLoadedImageProtocolGuid, NULL, &Size, mHandles);

  if (EFI_ERROR (Status)) {
    Put ("TAVRI images ");
    PutStatus ("status", Status);
    Put ("\n");
    return;
  }

  for (UINTN Index = 0; Index < Size / sizeof (EFI_HANDLE); Index++) {
    EFI_LOADED_IMAGE_PROTOCOL  *Image = NULL;
    if ((mHandles[Index] == Self) ||
        EFI_ERROR (gProbeBs->HandleProtocol (mHandles[Index], &gEfiLoadedImageProtocolGuid, reinterpret_cast<VOID **>(&Image))) ||
        !HasFileNode (Image->FilePath))
    {
      continue;
    }

    Put ("TAVRI image path=");
    PutFilePath (Image->FilePath);
    Put (" parent=");
    EFI_LOADED_IMAGE_PROTOCOL  *Parent = NULL;
    if ((Image->ParentHandle != NULL) &&
        !EFI_ERROR (gProbeBs->HandleProtocol (Image->ParentHandle, &gEfiLoadedImageProtocolGuid, reinterpret_cast<VOID **>(&Parent))))
    {
      PutFilePath (Parent->FilePath);
    } else {
      Put ("none");
    }

    Put ("\n");
  }
}

VOID
ReportSetupVariables (
  VOID
  )
{
  UINT8       Pm[SOCKET_POWER_MANAGEMENT_CONFIG_SIZE + 1];
  UINTN       Size   = sizeof (Pm);
  EFI_STATUS  Status = gProbeRt->GetVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, &gSocketPowerManagementConfigGuid, NULL, &Size, Pm);

  Put ("TAVRI pm ");
  PutStatus ("status", Status);
  if (!EFI_ERROR (Status)) {
    Put (" size=");
    PutDec (Size);
  }

  if (!EFI_ERROR (Status) && (Size == SOCKET_POWER_MANAGEMENT_CONFIG_SIZE)) {
    UINT8  Selector = Pm[PM_PRESET_SELECTOR_OFFSET];
    Put (" selector=");
    PutDec (Selector);
    if (Selector < PM_PRESET_COUNT) {
      Put (" in-force=");
      PutDec (PresetBytesInForce (Pm));
      Put ("/");
      PutDec (PM_PRESET_ENTRY_COUNT);
    }

    PutCrc32 (Pm, Size);
  }

  Put ("\n");

  Size   = sizeof (mIioVariable);
  Status = gProbeRt->GetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, NULL, &Size, mIioVariable);
  Put ("TAVRI iio ");
  PutStatus ("status", Status);
  if (!EFI_ERROR (Status)) {
    Put (" size=");
    PutDec (Size);
    if (Size > IIO_HOB_IMPORT_SWITCH_OFFSET) {
      Put (" switch=");
      PutDec (mIioVariable[IIO_HOB_IMPORT_SWITCH_OFFSET]);
    }

    PutCrc32 (mIioVariable, Size);
  }

  Put (" source-hob=");
  Put (IioSourceHobState ());
  Put ("\n");
}

VOID
ReportFruAccess (
  VOID
  )
{
  FRU_ACCESS_PROTOCOL  *Fru    = NULL;
  EFI_STATUS           Status  = gProbeBs->LocateProtocol (&gFruAccessProtocolGuid, NULL, reinterpret_cast<VOID **>(&Fru));

  Put ("TAVRI fru-protocol ");
  PutStatus ("status", Status);
  Put ("\n");
  if (EFI_ERROR (Status)) {
    return;
  }

  UINT8  Data[256];
  UINTN  Size = sizeof (Data);
  Status = Fru->ReadFruData (0, 0, &Size, Data);
  Put ("TAVRI fru-read ");
  PutStatus ("status", Status);
  Put (" count=");
  PutDec (Size);
  Put ("\n");
  PutFruDataRows (Data, (Size < sizeof (Data)) ? Size : sizeof (Data));
}
