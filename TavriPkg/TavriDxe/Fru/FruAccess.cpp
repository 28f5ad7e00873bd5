/** @file
  The FRU access protocol: FRU device reads and writes carried as IPMI Read
  FRU Data and Write FRU Data commands of at most FRU_CHUNK_SIZE bytes.

  A busy BMC (completion code 0x81) is waited for and asked again, up to
  FRU_BUSY_RETRIES times per chunk. A reply that moves nothing is treated the
  same way, so that no reply can hold a transfer in a loop. A short reply is
  not an error: the next command continues where it stopped. A read takes no
  more bytes than the reply carries, by the length the transport reports.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "../TavriDxe.h"
#include "../Platform/FirmwareServices.h"
#include "TscDelay.h"

#include <IndustryStandard/IpmiFru.h>
#include <Protocol/FruAccess.h>

constexpr UINT8  FRU_CHUNK_SIZE   = 16;
constexpr UINT8  FRU_BUSY_RETRIES = 3;

constexpr UINT8  FRU_READ_RESPONSE_CAPACITY  = 255;
constexpr UINT8  FRU_WRITE_RESPONSE_CAPACITY = IPMI_WRITE_FRU_DATA_RESPONSE_SIZE;

///
/// FRU devices are addressed with 16-bit offsets: a write must end inside them.
///
constexpr UINT32  FRU_ADDRESS_SPACE_SIZE = 0x10000;

IPMI_TRANSPORT_PROTOCOL  *mIpmiTransport = NULL;

extern "C" {
EFI_STATUS EFIAPI ReadFruData (IN UINT8 FruDeviceId, IN UINT16 Offset, IN OUT UINTN *DataSize, IN OUT UINT8 *Buffer);
EFI_STATUS EFIAPI WriteFruData (IN UINT8 FruDeviceId, IN UINT16 Offset, IN OUT UINTN *DataSize, IN OUT UINT8 *Buffer);
}

STATIC CONST FRU_ACCESS_PROTOCOL  mFruAccessProtocol = {
  ReadFruData,
  WriteFruData
};

/**
  Send one chunk's request until the BMC answers it, waiting out busy replies.

  The response area is cleared before every send, so that bytes a short
  response leaves out read as 0, never as what an earlier send left there.
  Progress is the count byte of the response (byte 1); for a read it is also
  held to the data bytes the response carries, when the transport reports a
  length of at least the two header bytes. A reply with completion code 0x00
  that moves nothing is retried like a busy one.

  @param[in]   Command       IPMI command.
  @param[in]   Request       The request, already built.
  @param[in]   RequestSize   Its length.
  @param[out]  Response      Response area of Capacity + IPMI_RESPONSE_SLACK
                             bytes.
  @param[in]   Capacity      Capacity announced to the transport.
  @param[out]  Moved         Bytes the reply moved, on success.
  @param[out]  DataSize      The caller's count, set to 0 on failure.

  @retval EFI_SUCCESS          Completion code 0x00 with progress.
  @retval EFI_WRITE_PROTECTED  A write answered 0x80.
  @retval EFI_TIMEOUT          Busy after the last send.
  @retval EFI_DEVICE_ERROR     Any other completion code, or no progress after
                               the last send.
  @retval other error          The transport's error.
**/
STATIC
EFI_STATUS
IPMI_CALLS_THROUGH_ANY_SHAPE
ExchangeFruChunk (
  IN  UINT8  Command,
  IN  UINT8  *Request,
  IN  UINTN  RequestSize,
  OUT UINT8  *Response,
  IN  UINT8  Capacity,
  OUT UINT8  *Moved,
  OUT UINTN  *DataSize
  )
{
  EFI_STATUS  Status;
  UINT32      ResponseSize;
  UINT32      Carried;
  BOOLEAN     Stalled = FALSE;

  for (UINT8 Attempt = 0; Attempt <= FRU_BUSY_RETRIES; Attempt++) {
    for (UINTN Index = 0; Index < Capacity + IPMI_RESPONSE_SLACK; Index++) {
      Response[Index] = 0;
    }

    ResponseSize = Capacity;
    Status       = IpmiSendAnyShape (
                     mIpmiTransport,
                     IPMI_NETFN_STORAGE,
                     IPMI_BMC_LUN,
                     Command,
                     Request,
                     RequestSize,
                     Response,
                     &ResponseSize
                     );
    if (EFI_ERROR (Status)) {
      *DataSize = 0;
      return Status;
    }

    //
    // A transport that writes the size as 32 bits can hand back any value: no
    // length above the capacity announced is believed.
    //
    Carried = (ResponseSize > Capacity) ? Capacity : ResponseSize;
    *Moved  = Response[1];
    if ((Command == IPMI_STORAGE_READ_FRU_DATA) && (Carried >= IPMI_READ_FRU_DATA_RESPONSE_HEADER) &&
        (*Moved > Carried - IPMI_READ_FRU_DATA_RESPONSE_HEADER))
    {
      //
      // The count byte claims more than the reply carries: take what it does
      // carry, so that no byte the BMC never sent is presented as FRU data.
      //
      *Moved = static_cast<UINT8>(Carried - IPMI_READ_FRU_DATA_RESPONSE_HEADER);
    }

    if ((Response[0] == IPMI_COMP_CODE_NORMAL) && (*Moved != 0)) {
      return EFI_SUCCESS;
    }

    if ((Response[0] == IPMI_COMP_CODE_WRITE_PROTECTED) && (Command == IPMI_STORAGE_WRITE_FRU_DATA)) {
      *DataSize = 0;
      return EFI_WRITE_PROTECTED;
    }

    if ((Response[0] != IPMI_COMP_CODE_FRU_BUSY) && (Response[0] != IPMI_COMP_CODE_NORMAL)) {
      //
      // The BMC refused the command: report it as a failure, not as the
      // transport's success.
      //
      *DataSize = 0;
      return EFI_DEVICE_ERROR;
    }

    Stalled = (Response[0] == IPMI_COMP_CODE_NORMAL);
    (VOID)TscDelayMicroseconds ();
  }

  *DataSize = 0;
  return Stalled ? EFI_DEVICE_ERROR : EFI_TIMEOUT;
}

/**
  Read bytes of a FRU device. See FRU_ACCESS_TRANSFER.

  The count still to read is held to 16 bits after the first chunk, so a
  request above 65,551 bytes reads fewer; the count returned says how many.
**/
EFI_STATUS
EFIAPI
ReadFruData (
  IN     UINT8   FruDeviceId,
  IN     UINT16  Offset,
  IN OUT UINTN   *DataSize,
  IN OUT UINT8   *Buffer
  )
{
  EFI_STATUS  Status;
  UINT8       Request[sizeof (IPMI_READ_FRU_DATA_REQUEST)];
  UINT8       Response[FRU_READ_RESPONSE_CAPACITY + IPMI_RESPONSE_SLACK];
  UINTN       Total;
  UINT16      RequestOffset;
  UINT8       Chunk;
  UINT8       Taken;
  UINT8       Moved;

  if ((DataSize == NULL) || (Buffer == NULL) || (*DataSize == 0)) {
    return EFI_INVALID_PARAMETER;
  }

  Total         = 0;
  RequestOffset = Offset;
  while (*DataSize > 0) {
    Chunk      = (*DataSize <= FRU_CHUNK_SIZE) ? static_cast<UINT8>(*DataSize) : FRU_CHUNK_SIZE;
    Request[0] = FruDeviceId;
    Request[1] = static_cast<UINT8>(RequestOffset);
    Request[2] = static_cast<UINT8>(RequestOffset >> 8);
    Request[3] = Chunk;

    Status = ExchangeFruChunk (IPMI_STORAGE_READ_FRU_DATA, Request, sizeof (Request), Response, FRU_READ_RESPONSE_CAPACITY, &Moved, DataSize);
    if (Status != EFI_SUCCESS) {
      return Status;
    }

    Taken     = (Moved > Chunk) ? Chunk : Moved;
    *DataSize = static_cast<UINT16>(static_cast<UINT16>(*DataSize) - Taken);
    for (UINT8 Index = 0; Index < Taken; Index++) {
      Buffer[Total + Index] = Response[IPMI_READ_FRU_DATA_RESPONSE_HEADER + Index];
    }

    Total        += Taken;
    RequestOffset = static_cast<UINT16>(RequestOffset + Taken);
  }

  *DataSize = Total;
  return EFI_SUCCESS;
}

/**
  Write bytes of a FRU device. See FRU_ACCESS_TRANSFER.

  The count still to write is held to 8 bits after the first chunk, so a
  request above 271 bytes writes fewer; the count returned says how many. A
  reply that claims more bytes than were sent counts as the bytes sent. A
  write that would run past offset 0xFFFF is refused before anything is sent:
  the offset would wrap to the start of the device, over its header.
**/
EFI_STATUS
EFIAPI
WriteFruData (
  IN     UINT8   FruDeviceId,
  IN     UINT16  Offset,
  IN OUT UINTN   *DataSize,
  IN OUT UINT8   *Buffer
  )
{
  EFI_STATUS  Status;
  UINT8       Request[IPMI_WRITE_FRU_DATA_REQUEST_HEADER + FRU_CHUNK_SIZE];
  UINT8       Response[FRU_WRITE_RESPONSE_CAPACITY + IPMI_RESPONSE_SLACK];
  UINTN       Total;
  UINT16      RequestOffset;
  UINT8       Chunk;
  UINT8       Written;
  UINT8       Moved;

  if ((DataSize == NULL) || (Buffer == NULL) || (*DataSize > FRU_ADDRESS_SPACE_SIZE - Offset)) {
    return EFI_INVALID_PARAMETER;
  }

  Total         = 0;
  RequestOffset = Offset;
  while (*DataSize != 0) {
    Chunk      = (*DataSize <= FRU_CHUNK_SIZE) ? static_cast<UINT8>(*DataSize) : FRU_CHUNK_SIZE;
    Request[0] = FruDeviceId;
    Request[1] = static_cast<UINT8>(RequestOffset);
    Request[2] = static_cast<UINT8>(RequestOffset >> 8);
    for (UINT8 Index = 0; Index < Chunk; Index++) {
      Request[IPMI_WRITE_FRU_DATA_REQUEST_HEADER + Index] = Buffer[Total + Index];
    }

    Status = ExchangeFruChunk (
               IPMI_STORAGE_WRITE_FRU_DATA,
               Request,
               IPMI_WRITE_FRU_DATA_REQUEST_HEADER + Chunk,
               Response,
               FRU_WRITE_RESPONSE_CAPACITY,
               &Moved,
               DataSize
               );
    if (Status != EFI_SUCCESS) {
      return Status;
    }

    Written       = (Moved > Chunk) ? Chunk : Moved;
    Total        += Written;
    RequestOffset = static_cast<UINT16>(RequestOffset + Written);
    *DataSize     = static_cast<UINT8>(static_cast<UINT8>(*DataSize) - Written);
  }

  *DataSize = Total;
  return EFI_SUCCESS;
}

/**
  Keep the located IPMI transport and install the FRU access protocol on a new
  handle. Until the transport is kept, nobody can reach the protocol.
**/
EFI_STATUS
EFIAPI
InstallFruAccessProtocol (
  VOID
  )
{
  EFI_STATUS  Status;
  EFI_HANDLE  Handle = NULL;

  Status = FwLocateProtocol (&gIpmiTransportProtocolGuid, reinterpret_cast<VOID **>(&mIpmiTransport));
  if (EFI_ERROR (Status)) {
    return Status;
  }

  return FwInstallProtocolInterface (&Handle, &gFruAccessProtocolGuid, const_cast<FRU_ACCESS_PROTOCOL *>(&mFruAccessProtocol));
}

/**
  Read the first 256 bytes of FRU device 0 once through the installed
  protocol. The bytes are not used.
**/
EFI_STATUS
EFIAPI
ProbeFruRead (
  VOID
  )
{
  EFI_STATUS           Status;
  FRU_ACCESS_PROTOCOL  *FruAccess;
  UINT8                Buffer[256];
  UINTN                Size = sizeof (Buffer);

  Status = FwLocateProtocol (&gFruAccessProtocolGuid, reinterpret_cast<VOID **>(&FruAccess));
  if (EFI_ERROR (Status)) {
    return Status;
  }

  return FruAccess->ReadFruData (0, 0, &Size, Buffer);
}
