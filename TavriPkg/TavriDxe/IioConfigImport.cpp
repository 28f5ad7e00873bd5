/** @file
  Copies the per-socket IIO values of sockets 0 and 1 from the IIO source HOB
  into SocketIioConfig when the variable's import switch is 1, and stores the
  variable again on every boot that does so.
**/

#include "TavriDxe.h"
#include "Platform/FirmwareServices.h"

#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Pi/PiHob.h>

UINT32  mIioConfigAttributes = 0;

///
/// Every HOB starts on an 8-byte boundary, so every HobLength is a multiple of 8.
///
constexpr UINT16  HOB_ALIGNMENT = 8;

/**
  Compare a GUID HOB's name with gIioSourceHobGuid, byte by byte: the name is
  HOB data, read as bytes, whatever its alignment.

  @param[in]  Name  The 16 bytes of the HOB's name.

  @retval TRUE   The HOB is the IIO source HOB.
  @retval FALSE  It is another HOB.
**/
STATIC
BOOLEAN
IsIioSourceHobName (
  IN CONST UINT8  *Name
  )
{
  CONST UINT8  *Wanted = reinterpret_cast<CONST UINT8 *>(&gIioSourceHobGuid);

  for (UINTN Index = 0; Index < sizeof (EFI_GUID); Index++) {
    if (Name[Index] != Wanted[Index]) {
      return FALSE;
    }
  }

  return TRUE;
}

/**
  Find the IIO source HOB in the HOB list.

  A HOB whose length is shorter than its header would never move the walk on,
  and one whose length is not a multiple of 8 would leave the next header out
  of alignment: either ends the walk as a malformed list, as does the end of
  the list.

  @param[out]  DataSize  Data bytes of the HOB found.

  @return The HOB's first data byte, or NULL.
**/
STATIC
CONST UINT8 *
FindIioSourceHob (
  OUT UINTN  *DataSize
  )
{
  CONST UINT8  *Hob = static_cast<CONST UINT8 *>(LookupHobList ());

  if (Hob == NULL) {
    return NULL;
  }

  for (;;) {
    CONST EFI_HOB_GENERIC_HEADER  *Header = reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(Hob);

    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST) {
      return NULL;
    }

    if ((Header->HobLength < sizeof (EFI_HOB_GENERIC_HEADER)) || ((Header->HobLength % HOB_ALIGNMENT) != 0)) {
      return NULL;
    }

    if ((Header->HobType == EFI_HOB_TYPE_GUID_EXTENSION) && (Header->HobLength >= sizeof (EFI_HOB_GUID_TYPE)) &&
        IsIioSourceHobName (Hob + sizeof (EFI_HOB_GENERIC_HEADER)))
    {
      *DataSize = Header->HobLength - sizeof (EFI_HOB_GUID_TYPE);
      return Hob + sizeof (EFI_HOB_GUID_TYPE);
    }

    Hob += Header->HobLength;
  }
}

/**
  Import the IIO values from the HOB into SocketIioConfig.

  @retval EFI_NOT_FOUND         No HOB list, no IIO source HOB, or a malformed
                                list; nothing read or written.
  @retval EFI_BAD_BUFFER_SIZE   The HOB carries fewer data bytes than the copy
                                map reads, or the variable is not exactly
                                22,247 bytes; nothing written.
  @retval EFI_ABORTED           The switch byte is not 1; nothing written.
  @retval other                 The status of GetVariable when it was not
                                EFI_SUCCESS, or of the final SetVariable.
**/
EFI_STATUS
EFIAPI
ImportIioConfigFromHob (
  VOID
  )
{
  EFI_STATUS   Status;
  CONST UINT8  *HobData;
  UINTN        HobDataSize = 0;
  UINT8        Buffer[SOCKET_IIO_CONFIG_SIZE];
  UINTN        Size = sizeof (Buffer);

  HobData = FindIioSourceHob (&HobDataSize);
  if (HobData == NULL) {
    return EFI_NOT_FOUND;
  }

  if (HobDataSize < IIO_SOURCE_HOB_MIN_DATA_SIZE) {
    return EFI_BAD_BUFFER_SIZE;
  }

  Status = FwGetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, &mIioConfigAttributes, &Size, Buffer);
  if (Status != EFI_SUCCESS) {
    return Status;
  }

  if (Size != sizeof (Buffer)) {
    return EFI_BAD_BUFFER_SIZE;
  }

  if (Buffer[IIO_HOB_IMPORT_SWITCH_OFFSET] != IIO_HOB_IMPORT_ENABLED) {
    return EFI_ABORTED;
  }

  for (const IIO_COPY_RANGE &Range : IioCopyMap) {
    for (UINTN Socket = 0; Socket < IIO_IMPORTED_SOCKETS; Socket++) {
      for (UINTN Index = 0; Index < Range.Length; Index++) {
        Buffer[Range.VarOffset + Socket * Range.VarStride + Index] = HobData[Range.HobOffset + Socket * Range.HobStride + Index];
      }
    }
  }

  return FwSetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, mIioConfigAttributes, sizeof (Buffer), Buffer);
}
