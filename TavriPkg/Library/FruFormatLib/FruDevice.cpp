/** @file
  Pieces, counts and read-back over the FRU access protocol.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruDevice.h>

namespace {

typedef enum {
  TransferRead,
  TransferWrite
} TRANSFER;

EFI_STATUS
Transfer (
  IN OUT FRU_DEVICE  *Device,
  IN     TRANSFER    Direction,
  IN     UINTN       Offset,
  IN     UINTN       Count,
  IN OUT UINT8       *Buffer,
  OUT    UINTN       *Done
  )
{
  UINTN  Stalls = 0;

  *Done            = 0;
  Device->FailedAt = static_cast<UINT32>(Offset);
  if ((Offset > FRU_MAX_IMAGE_SIZE) || (Count > FRU_MAX_IMAGE_SIZE - Offset)) {
    return EFI_BAD_BUFFER_SIZE;
  }

  while (*Done < Count) {
    UINTN  Asked = Count - *Done;
    if (Asked > FRU_DEVICE_PIECE) {
      Asked = FRU_DEVICE_PIECE;
    }

    UINTN       Moved = Asked;
    UINT16      At    = static_cast<UINT16>(Offset + *Done);
    EFI_STATUS  Status;

    Device->FailedAt = At;
    if (Direction == TransferRead) {
      Status = Device->Fru->ReadFruData (Device->DeviceId, At, &Moved, Buffer + *Done);
    } else {
      Status = Device->Fru->WriteFruData (Device->DeviceId, At, &Moved, Buffer + *Done);
    }

    if (EFI_ERROR (Status)) {
      return Status;
    }

    if (Moved > Asked) {
      return EFI_DEVICE_ERROR;
    }

    if (Moved == 0) {
      if (++Stalls > FRU_DEVICE_NO_PROGRESS_LIMIT) {
        return EFI_DEVICE_ERROR;
      }

      continue;
    }

    Stalls = 0;
    *Done += Moved;
  }

  Device->FailedAt = static_cast<UINT32>(Offset + Count);
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS
FruDeviceRead (
  IN OUT FRU_DEVICE  *Device,
  IN     UINTN       Offset,
  IN     UINTN       Count,
  OUT    UINT8       *Buffer,
  OUT    UINTN       *Done
  )
{
  return Transfer (Device, TransferRead, Offset, Count, Buffer, Done);
}

EFI_STATUS
FruDeviceWrite (
  IN OUT FRU_DEVICE   *Device,
  IN     UINTN        Offset,
  IN     UINTN        Count,
  IN     CONST UINT8  *Buffer,
  OUT    UINTN        *Done
  )
{
  //
  // WriteFruData takes a non-const buffer but only reads from it.
  //
  return Transfer (Device, TransferWrite, Offset, Count, const_cast<UINT8 *>(Buffer), Done);
}

EFI_STATUS
FruDeviceReadImage (
  IN OUT FRU_DEVICE  *Device,
  OUT    UINT8       *Buffer,
  IN     UINTN       Capacity,
  OUT    UINTN       *Size,
  OUT    UINTN       *Needed
  )
{
  UINTN  Have = 0;
  UINTN  Want = FRU_HEADER_SIZE;

  *Size = 0;
  while (Want > Have) {
    *Needed = Want;
    if (Want > Capacity) {
      return EFI_BUFFER_TOO_SMALL;
    }

    UINTN       Done;
    EFI_STATUS  Status = FruDeviceRead (Device, Have, Want - Have, Buffer + Have, &Done);
    Have += Done;
    *Size = Have;
    if (EFI_ERROR (Status)) {
      return Status;
    }

    Want = FruNeededSize (Buffer, Have);
  }

  *Needed = Have;
  return EFI_SUCCESS;
}

EFI_STATUS
FruDeviceWriteAndCompare (
  IN OUT FRU_DEVICE   *Device,
  IN     UINTN        Offset,
  IN     UINTN        Count,
  IN     CONST UINT8  *Buffer,
  OUT    UINT8        *Scratch,
  OUT    UINTN        *Difference
  )
{
  UINTN       Done;
  EFI_STATUS  Status;

  *Difference = Offset;
  Status      = FruDeviceWrite (Device, Offset, Count, Buffer, &Done);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = FruDeviceRead (Device, Offset, Count, Scratch, &Done);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  for (UINTN Index = 0; Index < Count; Index++) {
    if (Scratch[Index] != Buffer[Index]) {
      *Difference = Offset + Index;
      return EFI_VOLUME_CORRUPTED;
    }
  }

  return EFI_SUCCESS;
}
