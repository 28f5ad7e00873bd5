/** @file
  IPMI_PROTOCOL, the IPMI interface of EDK2's MdeModulePkg that EDK2's own
  IPMI drivers (ManageabilityPkg's IpmiProtocolDxe) produce: one member that
  sends a request to the BMC and returns the response, completion code first.
  It carries no LUN (the driver sends LUN 0) and passes both sizes as UINT32.

  Declared here from the published interface's layout for the builds without
  EDK2; inside EDK2 MdeModulePkg's own header is used.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IPMI_PROTOCOL_H_
#define IPMI_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>

#define IPMI_PROTOCOL_GUID \
  { 0xDBC6381F, 0x5554, 0x4D14, { 0x8F, 0xFD, 0x76, 0xD7, 0x87, 0xB8, 0xAC, 0xBF } }

extern EFI_GUID  gIpmiProtocolGuid;

typedef struct _IPMI_PROTOCOL  IPMI_PROTOCOL;

/**
  Send one IPMI request (LUN 0) and receive the response.

  @param[in]      This              The interface.
  @param[in]      NetFunction       Network function of the request.
  @param[in]      Command           Command of the request.
  @param[in]      RequestData       Request data bytes.
  @param[in]      RequestDataSize   Number of request data bytes.
  @param[out]     ResponseData      Response: completion code, then the data.
  @param[in,out]  ResponseDataSize  In: size of ResponseData. Out: length of
                                    the response.

  @retval EFI_SUCCESS       A response was received.
  @retval other error       No response, or one the driver does not accept:
                            how each driver reports which is its own matter.
**/
typedef EFI_STATUS (EFIAPI *IPMI_SUBMIT_COMMAND)(
  IN     IPMI_PROTOCOL  *This,
  IN     UINT8          NetFunction,
  IN     UINT8          Command,
  IN     UINT8          *RequestData,
  IN     UINT32         RequestDataSize,
  OUT    UINT8          *ResponseData,
  IN OUT UINT32         *ResponseDataSize
  );

struct _IPMI_PROTOCOL {
  IPMI_SUBMIT_COMMAND    IpmiSubmitCommand;
};

static_assert (OFFSET_OF (IPMI_PROTOCOL, IpmiSubmitCommand) == 0, "published layout: the send function first");
static_assert (sizeof (IPMI_PROTOCOL) == sizeof (VOID *), "published layout: one function pointer");

#endif
