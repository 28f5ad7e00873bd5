/** @file
  IPMI transport over the KCS system interface, for boards whose BMC sits
  behind KCS ports 0xCA2 (data) and 0xCA3 (status and command).

  Installs the IPMI transport protocol in the shape this project's drivers
  call (Protocol/IpmiTransport.h: sizes as UINT8). The response handed back
  starts with the completion code, whatever its value. The KCS transfers are
  in KcsInterface.cpp, shared with the IPMI_TRANSPORT2 face
  (KcsIpmiTransport2.cpp).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>
#include <Protocol/IpmiTransport.h>

#include "KcsInterface.h"

STATIC
EFI_STATUS
EFIAPI
KcsSendIpmiCommand (
  IN     IPMI_TRANSPORT_PROTOCOL  *This,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINT8                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT8                    *ResponseDataSize
  )
{
  UINT8       Message[KCS_MAX_MESSAGE];
  UINTN       Length;
  EFI_STATUS  Status;

  (VOID)This;
  if ((ResponseData == NULL) || (ResponseDataSize == NULL)) {
    return EFI_INVALID_PARAMETER;
  }

  Status = KcsExchange (NetFunction, Lun, Command, CommandData, CommandDataSize, Message, &Length);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  //
  // Hand back the completion code and what follows.
  //
  if (Length - KCS_RESPONSE_HEADER > *ResponseDataSize) {
    return EFI_BUFFER_TOO_SMALL;
  }

  for (UINTN Index = KCS_RESPONSE_HEADER; Index < Length; Index++) {
    ResponseData[Index - KCS_RESPONSE_HEADER] = Message[Index];
  }

  *ResponseDataSize = static_cast<UINT8>(Length - KCS_RESPONSE_HEADER);
  return EFI_SUCCESS;
}

STATIC IPMI_TRANSPORT_PROTOCOL  mKcsTransport = {
  0x0001000000000000ULL,
  KcsSendIpmiCommand
};

extern "C" EFI_STATUS EFIAPI KcsIpmiEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

EFI_STATUS
EFIAPI
KcsIpmiEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_HANDLE  Handle = NULL;

  (VOID)ImageHandle;
  return SystemTable->BootServices->InstallProtocolInterface (&Handle, &gIpmiTransportProtocolGuid, EFI_NATIVE_INTERFACE, &mKcsTransport);
}
