/** @file
  The KCS IPMI transport in its second face: the IPMI_TRANSPORT2 shape
  (Protocol/IpmiTransport2.h) that edk2-platforms' IpmiFeaturePkg installs
  under the same transport GUID. Built as its own image, KcsIpmiDxeTransport2,
  so that a platform (or a test) runs TavriDxe against that shape over the
  same KCS code as KcsIpmiDxe.

  It behaves as that transport does towards its callers:
  - both sizes are read and written as UINT32;
  - a response with a non-zero completion code fails with EFI_DEVICE_ERROR,
    ResponseData and *ResponseDataSize untouched; the code is kept in the
    interface's CompletionCode;
  - on success ResponseData holds the completion code, then the data;
  - a response one byte longer than the capacity given is accepted (and
    stored): callers must keep a byte of room past the capacity they
    announce. Kept on purpose, so that tests exercise the slack a caller
    needs for the published transport.
  It also guards against callers of the UINT8 shape: requests are at most 255
  bytes, so a request size with a non-zero upper byte is a caller that stored
  one byte into the argument slot and left stale bytes above it. Such a call
  fails with EFI_INVALID_PARAMETER, nothing is sent, and a line naming the
  size goes to the debug port 0x402.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>
#include <Protocol/IpmiTransport2.h>

extern "C" {
#include <Library/IoLib.h>
}

#include "KcsInterface.h"

constexpr UINT16  DEBUG_PORT           = 0x402;
constexpr UINT32  MAX_REQUEST_DATA     = 0xFF;    ///< the upper bytes of a request size are zero
constexpr UINT32  RESPONSE_SLACK       = 1;       ///< bytes accepted past the capacity given

static_assert (MAX_REQUEST_DATA <= KCS_MAX_REQUEST_DATA, "any request accepted fits in a KCS message");

/**
  Write Text and then Value as eight hex digits and a line end to the debug
  port.
**/
STATIC
VOID
DebugPortReport (
  IN CONST CHAR8  *Text,
  IN UINT32       Value
  )
{
  for (CONST CHAR8 *Char = Text; *Char != '\0'; Char++) {
    IoWrite8 (DEBUG_PORT, static_cast<UINT8>(*Char));
  }

  for (INTN Shift = 28; Shift >= 0; Shift -= 4) {
    IoWrite8 (DEBUG_PORT, static_cast<UINT8>("0123456789ABCDEF"[(Value >> Shift) & 0xF]));
  }

  IoWrite8 (DEBUG_PORT, '\n');
}

/**
  Send one IPMI request over KCS and receive its response. See
  IPMI_SUBMIT_COMMAND2 and the file header.

  @retval EFI_INVALID_PARAMETER  A pointer is NULL, or the request size has a
                                 non-zero upper byte (reported on the debug
                                 port).
  @retval EFI_BUFFER_TOO_SMALL   The response is longer than the capacity
                                 plus one byte.
**/
STATIC
EFI_STATUS
EFIAPI
KcsSubmitCommand2 (
  IN     IPMI_TRANSPORT2  *This,
  IN     UINT8            NetFunction,
  IN     UINT8            Lun,
  IN     UINT8            Command,
  IN     UINT8            *CommandData,
  IN     UINT32           CommandDataSize,
  OUT    UINT8            *ResponseData,
  IN OUT UINT32           *ResponseDataSize
  )
{
  UINT8       Message[KCS_MAX_MESSAGE];
  UINTN       Length;
  UINT32      Response;
  EFI_STATUS  Status;

  if ((This == NULL) || (ResponseData == NULL) || (ResponseDataSize == NULL)) {
    return EFI_INVALID_PARAMETER;
  }

  if (CommandDataSize > MAX_REQUEST_DATA) {
    DebugPortReport ("KcsIpmiDxeTransport2: refused, request size with non-zero upper bytes: 0x", CommandDataSize);
    return EFI_INVALID_PARAMETER;
  }

  Status = KcsExchange (NetFunction, Lun, Command, CommandData, CommandDataSize, Message, &Length);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  This->CompletionCode = Message[KCS_RESPONSE_HEADER];
  if (This->CompletionCode != 0) {
    return EFI_DEVICE_ERROR;
  }

  Response = static_cast<UINT32>(Length - KCS_RESPONSE_HEADER);
  if (Response - RESPONSE_SLACK > *ResponseDataSize) {      // Response >= 1: the completion code
    return EFI_BUFFER_TOO_SMALL;
  }

  for (UINT32 Index = 0; Index < Response; Index++) {
    ResponseData[Index] = Message[KCS_RESPONSE_HEADER + Index];
  }

  *ResponseDataSize = Response;
  return EFI_SUCCESS;
}

/**
  KcsSubmitCommand2 for the KCS interface; any other interface is
  EFI_UNSUPPORTED.
**/
STATIC
EFI_STATUS
EFIAPI
KcsSubmitCommand2Ex (
  IN     IPMI_TRANSPORT2  *This,
  IN     UINT8            NetFunction,
  IN     UINT8            Lun,
  IN     UINT8            Command,
  IN     UINT8            *CommandData,
  IN     UINT32           CommandDataSize,
  OUT    UINT8            *ResponseData,
  IN OUT UINT32           *ResponseDataSize,
  IN     UINT32           InterfaceType
  )
{
  if (InterfaceType != Ipmi2InterfaceKcs) {
    return EFI_UNSUPPORTED;
  }

  return KcsSubmitCommand2 (This, NetFunction, Lun, Command, CommandData, CommandDataSize, ResponseData, ResponseDataSize);
}

STATIC IPMI_TRANSPORT2  mKcsTransport2 = {
  0x0002000000000000ULL,
  KcsSubmitCommand2,
  KcsSubmitCommand2Ex,
  {},
  Ipmi2InterfaceKcs,
  Ipmi2BmcStatusOk,
  NULL,
  0
};

extern "C" EFI_STATUS EFIAPI KcsIpmiTransport2EntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

/**
  Install the IPMI_TRANSPORT2 interface under the transport GUID on a new
  handle.
**/
EFI_STATUS
EFIAPI
KcsIpmiTransport2EntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_HANDLE  Handle = NULL;
  EFI_STATUS  Status;

  (VOID)ImageHandle;
  Status = SystemTable->BootServices->InstallProtocolInterface (&Handle, &gIpmiTransportProtocolGuid, EFI_NATIVE_INTERFACE, &mKcsTransport2);
  if (!EFI_ERROR (Status)) {
    mKcsTransport2.IpmiHandle = Handle;
  }

  return Status;
}
