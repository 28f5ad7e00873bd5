/** @file
  The KCS IPMI transport in its third face: MdeModulePkg's IPMI_PROTOCOL,
  behaving towards its callers as EDK2's own driver (ManageabilityPkg's
  IpmiProtocolDxe over its KCS transport library) was measured to behave.
  Built as its own image, KcsIpmiDxeIpmiProtocol, so that a platform (or a
  test) runs IpmiProtocolBridgeDxe and TavriDxe against that behaviour over
  the same KCS code as KcsIpmiDxe:

  - Every request goes to LUN 0.
  - A reply exactly as long as the response area: EFI_SUCCESS with its
    length, unless its completion code is one the driver does not know
    (anything but 0x00, 0xC0 and 0xC1): then EFI_NOT_FOUND, the reply in the
    area.
  - A reply shorter than the area: EFI_DEVICE_ERROR, the reply's bytes in the
    area, *ResponseDataSize left as given. So a busy reply (0x81) in a
    larger area is EFI_DEVICE_ERROR with 0x81 as the first byte; nothing is
    retried.
  - A reply longer than the area: the area filled with its first bytes and
    the completion code's status as above, and from then on every call fails
    at once with EFI_NOT_READY for the rest of the boot. EDK2's driver stops
    reading in the middle of the KCS read phase and leaves the interface
    there; this face reads whole replies (KcsInterface.cpp) and keeps the
    interface healthy, so the wedge is a state of the face, set here.
  - No BMC (the KCS status register reads 0xFF): every call fails at once
    with EFI_DEVICE_ERROR, the area untouched. The protocol is installed
    anyway.
  - A failure of the KCS exchange itself: EFI_DEVICE_ERROR, area untouched.
  - A response area of 0 bytes: EFI_INVALID_PARAMETER, nothing sent.

  The dependency is TRUE: the protocol is installed early in DXE, before the
  variable services, as EDK2's driver does.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>
#include <Protocol/IpmiProtocol.h>

extern "C" {
#include <Library/IoLib.h>
}

#include "KcsInterface.h"

constexpr UINT16  KCS_STATUS_REGISTER = 0xCA3;     ///< as KcsInterface.cpp addresses it
constexpr UINT8   KCS_STATUS_ABSENT   = 0xFF;      ///< what an I/O port with no device behind it reads

STATIC BOOLEAN  mKcsFaceWedged = FALSE;

/**
  The status EDK2's driver gives a reply that fills the response area: its
  completion code table knows 0x00, 0xC0 (node busy) and 0xC1 (invalid
  command); any other code is EFI_NOT_FOUND.
**/
STATIC
EFI_STATUS
CompletionCodeStatus (
  IN UINT8  CompletionCode
  )
{
  return ((CompletionCode == 0x00) || (CompletionCode == 0xC0) || (CompletionCode == 0xC1)) ? EFI_SUCCESS : EFI_NOT_FOUND;
}

/**
  Send one IPMI request (LUN 0) over KCS; see the file header.

  @retval EFI_SUCCESS            The reply filled the area exactly (or was cut
                                 to it), with a completion code the driver
                                 knows.
  @retval EFI_NOT_FOUND          The same, with another completion code.
  @retval EFI_DEVICE_ERROR       A reply shorter than the area (in the area),
                                 no BMC, or the exchange failed.
  @retval EFI_NOT_READY          An earlier reply was longer than its area.
  @retval EFI_INVALID_PARAMETER  A pointer is NULL, the area is 0 bytes, or
                                 the request is longer than KCS carries.
**/
STATIC
EFI_STATUS
EFIAPI
KcsIpmiSubmitCommand (
  IN     IPMI_PROTOCOL  *This,
  IN     UINT8          NetFunction,
  IN     UINT8          Command,
  IN     UINT8          *RequestData,
  IN     UINT32         RequestDataSize,
  OUT    UINT8          *ResponseData,
  IN OUT UINT32         *ResponseDataSize
  )
{
  UINT8       Message[KCS_MAX_MESSAGE];
  UINTN       Length;
  UINT32      Reply;
  UINT32      Area;
  UINT32      Stored;
  EFI_STATUS  Status;

  (VOID)This;
  if ((ResponseData == NULL) || (ResponseDataSize == NULL) || (*ResponseDataSize == 0)) {
    return EFI_INVALID_PARAMETER;
  }

  if (mKcsFaceWedged) {
    return EFI_NOT_READY;
  }

  if (IoRead8 (KCS_STATUS_REGISTER) == KCS_STATUS_ABSENT) {
    return EFI_DEVICE_ERROR;
  }

  Status = KcsExchange (NetFunction, 0, Command, RequestData, RequestDataSize, Message, &Length);
  if (EFI_ERROR (Status)) {
    return (Status == EFI_INVALID_PARAMETER) ? Status : EFI_DEVICE_ERROR;
  }

  Reply  = static_cast<UINT32>(Length - KCS_RESPONSE_HEADER);
  Area   = *ResponseDataSize;
  Stored = (Reply < Area) ? Reply : Area;
  for (UINT32 Index = 0; Index < Stored; Index++) {
    ResponseData[Index] = Message[KCS_RESPONSE_HEADER + Index];
  }

  if (Reply < Area) {
    return EFI_DEVICE_ERROR;
  }

  if (Reply > Area) {
    mKcsFaceWedged = TRUE;
  }

  Status = CompletionCodeStatus (ResponseData[0]);
  if (!EFI_ERROR (Status)) {
    *ResponseDataSize = Stored;
  }

  return Status;
}

STATIC IPMI_PROTOCOL  mKcsIpmiProtocol = {
  KcsIpmiSubmitCommand
};

extern "C" EFI_STATUS EFIAPI KcsIpmiProtocolEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

/**
  Install IPMI_PROTOCOL on a new handle, BMC or not.
**/
EFI_STATUS
EFIAPI
KcsIpmiProtocolEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_HANDLE  Handle = NULL;

  (VOID)ImageHandle;
  return SystemTable->BootServices->InstallProtocolInterface (&Handle, &gIpmiProtocolGuid, EFI_NATIVE_INTERFACE, &mKcsIpmiProtocol);
}
