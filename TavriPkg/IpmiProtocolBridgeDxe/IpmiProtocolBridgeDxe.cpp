/** @file
  IpmiProtocolBridgeDxe's entry point: a protocol notification for
  IPMI_PROTOCOL, signalled once at entry too, so that an IPMI_PROTOCOL
  installed before the bridge started is found as well as one installed
  later. The first notification that finds one installs the transport under
  gIpmiTransportProtocolGuid on a new handle and closes the event: the
  transport is installed once per boot.

  The module's dependency (gIpmiProtocolGuid and TavriDxe's own terms) and
  its place after TavriDxe in the firmware volume make TavriDxe run first, so
  that TavriDxe's notification sees the transport appear.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "IpmiProtocolBridgeDxe.h"

STATIC EFI_BOOT_SERVICES  *mBridgeBs           = NULL;
STATIC EFI_EVENT          mIpmiProtocolEvent   = NULL;
STATIC VOID               *mIpmiProtocolRegistration = NULL;
STATIC BOOLEAN            mTransportInstalled  = FALSE;

/**
  Install the transport over the IPMI_PROTOCOL installed, if there is one.

  @param[in]  Event    The notification event; closed once installed.
  @param[in]  Context  Unused.
**/
STATIC
VOID
EFIAPI
OnIpmiProtocol (
  IN EFI_EVENT  Event,
  IN VOID       *Context
  )
{
  IPMI_PROTOCOL            *Ipmi = NULL;
  IPMI_TRANSPORT_PROTOCOL  *Transport;
  EFI_HANDLE               Handle = NULL;

  (VOID)Context;
  if (mTransportInstalled) {
    return;
  }

  if (EFI_ERROR (mBridgeBs->LocateProtocol (&gIpmiProtocolGuid, NULL, reinterpret_cast<VOID **>(&Ipmi))) || (Ipmi == NULL)) {
    return;
  }

  Transport = IpmiBridgeTransport (Ipmi);
  if (Transport == NULL) {
    return;
  }

  //
  // Set before installing: TavriDxe's notification runs inside the
  // installation and may send at once.
  //
  mTransportInstalled = TRUE;
  if (EFI_ERROR (mBridgeBs->InstallProtocolInterface (&Handle, &gIpmiTransportProtocolGuid, EFI_NATIVE_INTERFACE, Transport))) {
    mTransportInstalled = FALSE;
    return;
  }

  mBridgeBs->CloseEvent (Event);
}

EFI_STATUS
EFIAPI
IpmiProtocolBridgeEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_STATUS  Status;

  (VOID)ImageHandle;
  mBridgeBs = SystemTable->BootServices;
  Status    = mBridgeBs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnIpmiProtocol, NULL, &mIpmiProtocolEvent);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = mBridgeBs->RegisterProtocolNotify (&gIpmiProtocolGuid, mIpmiProtocolEvent, &mIpmiProtocolRegistration);
  if (EFI_ERROR (Status)) {
    mBridgeBs->CloseEvent (mIpmiProtocolEvent);
    return Status;
  }

  //
  // An IPMI_PROTOCOL installed before the bridge started raises no
  // notification: look once now. The event stays registered whatever
  // happens, so the entry point succeeds and the image stays.
  //
  if (EFI_ERROR (mBridgeBs->SignalEvent (mIpmiProtocolEvent))) {
    OnIpmiProtocol (mIpmiProtocolEvent, NULL);
  }

  return EFI_SUCCESS;
}
