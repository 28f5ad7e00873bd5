/** @file
  The platform's IPMI transport protocol, as the drivers of this project call
  it. The first member is a 64-bit field that callers do not read; the second
  sends one IPMI request and returns the response, completion code first.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IPMI_TRANSPORT_PROTOCOL_H_
#define IPMI_TRANSPORT_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>

#define IPMI_TRANSPORT_PROTOCOL_GUID \
  { 0x4A1D0E66, 0x5271, 0x4E22, { 0x83, 0xFE, 0x90, 0x92, 0x1B, 0x74, 0x82, 0x13 } }

extern EFI_GUID  gIpmiTransportProtocolGuid;

typedef struct _IPMI_TRANSPORT_PROTOCOL  IPMI_TRANSPORT_PROTOCOL;

/**
  Send one IPMI request to the BMC and receive its response.

  @param[in]      This              The transport.
  @param[in]      NetFunction       Network function of the request.
  @param[in]      Lun               Logical unit of the request.
  @param[in]      Command           Command of the request.
  @param[in]      CommandData       Request data bytes.
  @param[in]      CommandDataSize   Number of request data bytes.
  @param[out]     ResponseData      Response: completion code, then the rest.
  @param[in,out]  ResponseDataSize  In: capacity of ResponseData. Out: length.

  @retval EFI_SUCCESS  The exchange took place; ResponseData[0] holds the
                       completion code.
  @retval other error  The exchange itself failed.
**/
typedef EFI_STATUS (EFIAPI *IPMI_SEND_COMMAND)(
  IN     IPMI_TRANSPORT_PROTOCOL  *This,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINT8                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT8                    *ResponseDataSize
  );

struct _IPMI_TRANSPORT_PROTOCOL {
  UINT64               Revision;
  IPMI_SEND_COMMAND    SendIpmiCommand;
};

static_assert (OFFSET_OF (IPMI_TRANSPORT_PROTOCOL, SendIpmiCommand) == 8, "SendIpmiCommand follows a 64-bit field");

/**
  The send function, as a caller that must work with any transport under the
  transport GUID calls it.

  Two interface shapes are published under this GUID, with the same first
  member and the send function at offset 8: the one above passes both sizes
  as UINT8, IPMI_TRANSPORT2 (Protocol/IpmiTransport2.h) as UINT32. A call
  through this type is read right by either:

  - CommandDataSize is the sixth argument. The x64 calling convention of UEFI
    passes it in its own 8-byte stack slot, and a callee reads the low 1 or 4
    bytes of the slot. Passed as UINTN, the size is zero-extended into the
    whole slot, so that no stale byte is ever read as part of it.
  - *ResponseDataSize is a zeroed, 4-byte-aligned 32-bit object holding the
    capacity (at most 255). On this little-endian machine its low byte is the
    capacity: a UINT8 transport reads and writes that byte and leaves the rest
    zero, a UINT32 one reads and writes the whole object. Nothing beside the
    object is touched by either. A UINT32 transport may hand back any value
    there, and may store one byte more than the capacity: the response area
    must be one byte larger, and no length above the capacity believed.

  The arguments before (This, NetFunction, Lun, Command) travel in registers
  and are the same in both shapes; CommandData and ResponseData are pointers.
**/
typedef EFI_STATUS (EFIAPI *IPMI_SEND_ANY_SHAPE)(
  IN     IPMI_TRANSPORT_PROTOCOL  *This,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINTN                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT32                   *ResponseDataSize
  );

static_assert (sizeof (UINTN) == 8, "the request size fills its whole 8-byte argument slot");
static_assert (sizeof (UINT32) == 4, "the response size object is 4 bytes");
static_assert (alignof (UINT32) == 4, "the response size object is 4-byte aligned");

///
/// Every response area is this much larger than the capacity announced to the
/// transport: there are transports that store one byte more than they are
/// told there is room for.
///
constexpr UINTN  IPMI_RESPONSE_SLACK = 1;

//
// A sanitizer build checks every indirect call against the callee's own type;
// IpmiSendAnyShape calls the send function through IPMI_SEND_ANY_SHAPE on
// purpose. Only clang knows the attribute.
//
#if defined (__clang__)
#define IPMI_CALLS_THROUGH_ANY_SHAPE  __attribute__ ((no_sanitize ("function")))
#else
#define IPMI_CALLS_THROUGH_ANY_SHAPE
#endif

/**
  Send one request through whichever shape the transport has.

  @param[in]      Transport         The transport found under the GUID.
  @param[in]      NetFunction       Network function of the request.
  @param[in]      Lun               Logical unit of the request.
  @param[in]      Command           Command of the request.
  @param[in]      CommandData       Request data bytes.
  @param[in]      CommandDataSize   Number of request data bytes (at most 255).
  @param[out]     ResponseData      Response area of *ResponseDataSize +
                                    IPMI_RESPONSE_SLACK bytes.
  @param[in,out]  ResponseDataSize  In: the capacity, at most 255. Out: the
                                    length the transport reports.

  @return The transport's status.
**/
inline
EFI_STATUS
IPMI_CALLS_THROUGH_ANY_SHAPE
IpmiSendAnyShape (
  IN     IPMI_TRANSPORT_PROTOCOL  *Transport,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINTN                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT32                   *ResponseDataSize
  )
{
  IPMI_SEND_ANY_SHAPE  Send = reinterpret_cast<IPMI_SEND_ANY_SHAPE>(Transport->SendIpmiCommand);

  return Send (Transport, NetFunction, Lun, Command, CommandData, CommandDataSize, ResponseData, ResponseDataSize);
}

#endif
