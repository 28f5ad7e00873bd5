/** @file
  A BMC FRU device reached through the FRU access protocol: reads and writes
  in pieces the protocol carries whole, with every returned count checked,
  the read of a whole FRU image as far as its header names bytes, and a
  write that reads back and compares.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_DEVICE_H_
#define FRU_DEVICE_H_

#include <Protocol/FruAccess.h>
#include <Library/FruFormat.h>

///
/// Bytes handed to one ReadFruData or WriteFruData call. The protocol holds
/// a write's remaining count to 8 bits after its first 16 bytes, so a call
/// moves at most 271 bytes whole; 256 stays inside that.
///
constexpr UINTN  FRU_DEVICE_PIECE = 256;

///
/// A write piece that moves no byte is sent again this many times, then fails.
///
constexpr UINTN  FRU_DEVICE_NO_PROGRESS_LIMIT = 3;

typedef struct {
  CONST FRU_ACCESS_PROTOCOL    *Fru;
  UINT8                        DeviceId;
  UINT32                       FailedAt;    ///< first offset of the piece that failed
} FRU_DEVICE;

/**
  Read or write Count bytes at Offset. On a failure *Done holds the bytes
  known to be transferred and Device->FailedAt where it stopped.

  @retval EFI_SUCCESS            All Count bytes were transferred.
  @retval EFI_BAD_BUFFER_SIZE    Offset + Count is past the 64 KiB a FRU
                                 device can address.
  @retval EFI_DEVICE_ERROR       The device moved more bytes than asked, or
                                 kept moving none.
  @retval other                  The protocol's status for the failing piece.
**/
EFI_STATUS
FruDeviceRead (
  IN OUT FRU_DEVICE  *Device,
  IN     UINTN       Offset,
  IN     UINTN       Count,
  OUT    UINT8       *Buffer,
  OUT    UINTN       *Done
  );

EFI_STATUS
FruDeviceWrite (
  IN OUT FRU_DEVICE   *Device,
  IN     UINTN        Offset,
  IN     UINTN        Count,
  IN     CONST UINT8  *Buffer,
  OUT    UINTN        *Done
  );

/**
  Read the FRU image from offset 0: the header, then as many bytes as
  FruNeededSize asks for, until it asks for no more. *Size is the bytes read;
  on a failure *Needed is the size the header named.
**/
EFI_STATUS
FruDeviceReadImage (
  IN OUT FRU_DEVICE  *Device,
  OUT    UINT8       *Buffer,
  IN     UINTN       Capacity,
  OUT    UINTN       *Size,
  OUT    UINTN       *Needed
  );

/**
  Write Count bytes at Offset, read them back into Scratch and compare.

  @retval EFI_SUCCESS          Written and read back alike.
  @retval EFI_VOLUME_CORRUPTED The read-back differs; *Difference is the
                               first offset that does.
  @retval other                The write or the read-back failed.
**/
EFI_STATUS
FruDeviceWriteAndCompare (
  IN OUT FRU_DEVICE   *Device,
  IN     UINTN        Offset,
  IN     UINTN        Count,
  IN     CONST UINT8  *Buffer,
  OUT    UINT8        *Scratch,
  OUT    UINTN        *Difference
  );

#endif
