/** @file
  The FRU access protocol: reads and writes the BMC's FRU inventory devices.

  The interface is two function pointers and nothing else; neither member takes
  a pointer to the interface.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_ACCESS_PROTOCOL_H_
#define FRU_ACCESS_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>

#define FRU_ACCESS_PROTOCOL_GUID \
  { 0x6AF735B6, 0x7E0D, 0x41CF, { 0x84, 0x31, 0xD3, 0x2F, 0xB7, 0xAC, 0xC0, 0x23 } }

extern EFI_GUID  gFruAccessProtocolGuid;

/**
  Read or write bytes of a FRU device.

  @param[in]      FruDeviceId  FRU device of the BMC.
  @param[in]      Offset       First byte of the device to transfer.
  @param[in,out]  DataSize     In: bytes to transfer. Out: bytes transferred;
                               0 after any failure but EFI_INVALID_PARAMETER.
  @param[in,out]  Buffer       The caller's bytes.

  @retval EFI_SUCCESS            DataSize bytes were transferred.
  @retval EFI_INVALID_PARAMETER  DataSize or Buffer is NULL, or a read of 0
                                 bytes; nothing was sent, DataSize untouched.
  @retval EFI_WRITE_PROTECTED    A write met a write-protected offset.
  @retval EFI_TIMEOUT            The device stayed busy.
  @retval EFI_DEVICE_ERROR       The BMC refused the command or made no
                                 progress.
  @retval other error            The IPMI transport failed.
**/
typedef EFI_STATUS (EFIAPI *FRU_ACCESS_TRANSFER)(
  IN     UINT8   FruDeviceId,
  IN     UINT16  Offset,
  IN OUT UINTN   *DataSize,
  IN OUT UINT8   *Buffer
  );

typedef struct {
  FRU_ACCESS_TRANSFER    ReadFruData;
  FRU_ACCESS_TRANSFER    WriteFruData;
} FRU_ACCESS_PROTOCOL;

static_assert (sizeof (FRU_ACCESS_PROTOCOL) == 16, "two function pointers, no revision");
static_assert (OFFSET_OF (FRU_ACCESS_PROTOCOL, WriteFruData) == 8, "ReadFruData, then WriteFruData");

#endif
