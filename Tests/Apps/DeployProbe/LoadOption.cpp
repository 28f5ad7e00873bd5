/** @file
  Device paths of files next to an image, Driver#### and DriverOrder.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "LoadOption.h"

#include <Guid/GlobalVariable.h>
#include <Protocol/LoadedImage.h>

#include "ProbeOutput.h"
#include <Library/TavriBaseLib.h>

namespace {

constexpr UINTN   MAX_DESCRIPTION_CHARS = 64;
constexpr UINTN   MAX_DEVICE_NODES      = 32;

UINT8  mOption[LOAD_OPTION_DESCRIPTION_OFFSET + (MAX_DESCRIPTION_CHARS + 1) * sizeof (CHAR16) + MAX_FILE_DEVICE_PATH];

UINTN
WideLength (
  IN CONST CHAR16  *Text
  )
{
  UINTN  Length = 0;

  while (Text[Length] != 0) {
    Length++;
  }

  return Length;
}

VOID
SetNodeLength (
  OUT EFI_DEVICE_PATH_PROTOCOL  *Node,
  IN  UINTN                     Length
  )
{
  Node->Length[0] = static_cast<UINT8>(Length & 0xFF);
  Node->Length[1] = static_cast<UINT8>(Length >> 8);
}

}  // namespace

EFI_STATUS
FileDevicePath (
  IN  EFI_HANDLE    Image,
  IN  CONST CHAR16  *FileName,
  OUT UINT8         *Buffer,
  OUT UINTN         *PathSize
  )
{
  EFI_LOADED_IMAGE_PROTOCOL  *Loaded = NULL;
  EFI_DEVICE_PATH_PROTOCOL   *Device = NULL;
  EFI_STATUS                 Status;

  Status = gProbeBs->HandleProtocol (Image, &gEfiLoadedImageProtocolGuid, reinterpret_cast<VOID **>(&Loaded));
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = gProbeBs->HandleProtocol (Loaded->DeviceHandle, &gEfiDevicePathProtocolGuid, reinterpret_cast<VOID **>(&Device));
  if (EFI_ERROR (Status)) {
    return Status;
  }

  //
  // The device's nodes up to (not including) its end node.
  //
  CONST UINT8  *Node  = reinterpret_cast<CONST UINT8 *>(Device);
  UINTN        Used   = 0;
  UINTN        Count  = 0;
  for ( ; ; Count++) {
    CONST EFI_DEVICE_PATH_PROTOCOL  *Header = reinterpret_cast<CONST EFI_DEVICE_PATH_PROTOCOL *>(Node + Used);
    UINTN  Length = static_cast<UINTN>(Header->Length[0] | (Header->Length[1] << 8));
    if (Header->Type == END_DEVICE_PATH_TYPE) {
      break;
    }

    if ((Length < sizeof (EFI_DEVICE_PATH_PROTOCOL)) || (Count == MAX_DEVICE_NODES)) {
      return EFI_VOLUME_CORRUPTED;
    }

    Used += Length;
  }

  UINTN  NameBytes = (WideLength (FileName) + 1) * sizeof (CHAR16);
  UINTN  FileNode  = sizeof (EFI_DEVICE_PATH_PROTOCOL) + NameBytes;
  UINTN  Total     = Used + FileNode + sizeof (EFI_DEVICE_PATH_PROTOCOL);
  if ((Total > MAX_FILE_DEVICE_PATH) || (FileNode > 0xFFFF)) {
    return EFI_BUFFER_TOO_SMALL;
  }

  gProbeBs->CopyMem (Buffer, const_cast<UINT8 *>(Node), Used);
  EFI_DEVICE_PATH_PROTOCOL  *File = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL *>(Buffer + Used);
  File->Type    = MEDIA_DEVICE_PATH;
  File->SubType = MEDIA_FILEPATH_DP;
  SetNodeLength (File, FileNode);
  gProbeBs->CopyMem (File + 1, const_cast<CHAR16 *>(FileName), NameBytes);

  EFI_DEVICE_PATH_PROTOCOL  *End = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL *>(Buffer + Used + FileNode);
  End->Type    = END_DEVICE_PATH_TYPE;
  End->SubType = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  SetNodeLength (End, sizeof (EFI_DEVICE_PATH_PROTOCOL));
  *PathSize = Total;
  return EFI_SUCCESS;
}

EFI_STATUS
WriteDriverOption (
  IN EFI_HANDLE    Image,
  IN UINT16        Number,
  IN CONST CHAR16  *Description,
  IN CONST CHAR16  *FileName
  )
{
  UINTN  DescriptionChars = WideLength (Description);

  if (DescriptionChars > MAX_DESCRIPTION_CHARS) {
    return EFI_BAD_BUFFER_SIZE;
  }

  UINTN  DescriptionBytes = (DescriptionChars + 1) * sizeof (CHAR16);
  UINT8  *Path            = mOption + LOAD_OPTION_DESCRIPTION_OFFSET + DescriptionBytes;
  UINTN  PathSize         = 0;
  EFI_STATUS  Status      = FileDevicePath (Image, FileName, Path, &PathSize);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  //
  // Attributes and FilePathListLength, little-endian and packed.
  //
  UINT32  Attributes = LOAD_OPTION_ACTIVE;
  for (UINTN Index = 0; Index < sizeof (Attributes); Index++) {
    mOption[LOAD_OPTION_ATTRIBUTES_OFFSET + Index] = static_cast<UINT8>(Attributes >> (8 * Index));
  }

  mOption[LOAD_OPTION_FILE_PATH_LENGTH_OFFSET]     = static_cast<UINT8>(PathSize & 0xFF);
  mOption[LOAD_OPTION_FILE_PATH_LENGTH_OFFSET + 1] = static_cast<UINT8>(PathSize >> 8);
  gProbeBs->CopyMem (mOption + LOAD_OPTION_DESCRIPTION_OFFSET, const_cast<CHAR16 *>(Description), DescriptionBytes);

  CHAR16  Name[] = u"Driver0000";
  for (UINTN Index = 0; Index < 4; Index++) {
    Name[9 - Index] = static_cast<CHAR16>("0123456789ABCDEF"[(Number >> (4 * Index)) & 0xF]);
  }

  return gProbeRt->SetVariable (Name, &gEfiGlobalVariableGuid, TAVRI_VARIABLE_NV_BS_RT, LOAD_OPTION_DESCRIPTION_OFFSET + DescriptionBytes + PathSize, mOption);
}

EFI_STATUS
WriteDriverOrder (
  IN CONST UINT16  *Numbers,
  IN UINTN         Count
  )
{
  return gProbeRt->SetVariable (u"DriverOrder", &gEfiGlobalVariableGuid, TAVRI_VARIABLE_NV_BS_RT, Count * sizeof (UINT16), Numbers);
}
