/** @file
  The platform's IPMI transport protocol, as the drivers of this project call
  it. The first member is a 64-bit field that callers do not read; the second
  sends one IPMI request and returns the response, completion code first.
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

#endif
