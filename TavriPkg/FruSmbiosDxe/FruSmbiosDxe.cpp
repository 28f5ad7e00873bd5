/** @file
  FruSmbiosDxe: puts the BMC's FRU inventory into SMBIOS.

  Once both the FRU access protocol (installed by TavriDxe when the platform's
  IPMI transport arrives) and the SMBIOS protocol are installed, it reads FRU
  device 0, and gives SMBIOS types 1, 2 and 3 the FRU's manufacturer,
  product, version, part and serial numbers, asset tag and chassis type.
  It acts once per boot; a protocol that is not there at entry is waited for
  with a protocol notification.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruSmbiosDxe.h"
#include "SmbiosUpdate.h"

namespace {

EFI_BOOT_SERVICES  *mBootServices = NULL;
EFI_HANDLE         mImageHandle   = NULL;
EFI_EVENT          mFruEvent      = NULL;
EFI_EVENT          mSmbiosEvent   = NULL;
BOOLEAN            mDone          = FALSE;

FRU_SMBIOS_VALUES         mValues;
FRU_SMBIOS_OUTCOME    mOutcome;

/**
  Look for a protocol's first interface.

  @return The interface, or NULL when none is installed.
**/
VOID *
FindProtocol (
  IN EFI_GUID  *Guid
  )
{
  VOID  *Interface = NULL;

  if (EFI_ERROR (mBootServices->LocateProtocol (Guid, NULL, &Interface))) {
    return NULL;
  }

  return Interface;
}

/**
  Close the notification events that are still open.
**/
VOID
CloseEvents (
  VOID
  )
{
  if (mFruEvent != NULL) {
    (VOID)mBootServices->CloseEvent (mFruEvent);
    mFruEvent = NULL;
  }

  if (mSmbiosEvent != NULL) {
    (VOID)mBootServices->CloseEvent (mSmbiosEvent);
    mSmbiosEvent = NULL;
  }
}

/**
  Update SMBIOS from FRU device 0 if both protocols are there and it has not
  been done yet this boot.
**/
VOID
UpdateWhenReady (
  VOID
  )
{
  if (mDone) {
    return;
  }

  auto  *Fru    = static_cast<FRU_ACCESS_PROTOCOL *>(FindProtocol (&gFruAccessProtocolGuid));
  auto  *Smbios = static_cast<EFI_SMBIOS_PROTOCOL *>(FindProtocol (&gEfiSmbiosProtocolGuid));
  if ((Fru == NULL) || (Smbios == NULL)) {
    return;
  }

  mDone = TRUE;
  CloseEvents ();
  FruSmbiosUpdate (Fru, Smbios, mImageHandle, &mOutcome);
}

/**
  Notification of the FRU access or SMBIOS protocol's installation.
**/
VOID
EFIAPI
OnProtocolInstalled (
  IN EFI_EVENT  Event,
  IN VOID       *Context
  )
{
  (VOID)Event;
  (VOID)Context;

  UpdateWhenReady ();
}

/**
  Wait for a protocol: a notify-signal event registered for its installations.
**/
EFI_STATUS
WaitForProtocol (
  IN  EFI_GUID   *Guid,
  OUT EFI_EVENT  *Event
  )
{
  VOID        *Registration;
  EFI_STATUS  Status;

  Status = mBootServices->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnProtocolInstalled, NULL, Event);
  if (EFI_ERROR (Status)) {
    *Event = NULL;
    return Status;
  }

  Status = mBootServices->RegisterProtocolNotify (Guid, *Event, &Registration);
  if (EFI_ERROR (Status)) {
    (VOID)mBootServices->CloseEvent (*Event);
    *Event = NULL;
  }

  return Status;
}

}  // namespace

VOID
FruSmbiosUpdate (
  IN  CONST FRU_ACCESS_PROTOCOL  *Fru,
  IN  CONST EFI_SMBIOS_PROTOCOL  *Smbios,
  IN  EFI_HANDLE                 Producer,
  OUT FRU_SMBIOS_OUTCOME         *Outcome
  )
{
  Outcome->Update.Changed        = 0;
  Outcome->Update.BaseboardAdded = FALSE;
  Outcome->ReadStatus            = FruValuesRead (Fru, FRU_SMBIOS_DEVICE_ID, &mValues);
  if (EFI_ERROR (Outcome->ReadStatus)) {
    return;
  }

  SmbiosUpdateFromFru (Smbios, Producer, &mValues, &Outcome->Update);
}

CONST FRU_SMBIOS_OUTCOME *
FruSmbiosLastOutcome (
  VOID
  )
{
  return mDone ? &mOutcome : NULL;
}

/**
  The driver's entry point.

  @param[in]  ImageHandle  The driver's image handle; the producer of the
                           structures it adds.
  @param[in]  SystemTable  The UEFI system table.

  @retval EFI_SUCCESS           SMBIOS was updated, or the driver waits for the
                                protocols that are missing.
  @retval EFI_OUT_OF_RESOURCES  A missing protocol cannot be waited for; the
                                driver does nothing and unloads.
**/
EFI_STATUS
EFIAPI
FruSmbiosDxeEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  mBootServices = SystemTable->BootServices;
  mImageHandle  = ImageHandle;
  mDone         = FALSE;

  if ((FindProtocol (&gFruAccessProtocolGuid) == NULL) &&
      EFI_ERROR (WaitForProtocol (&gFruAccessProtocolGuid, &mFruEvent)))
  {
    return EFI_OUT_OF_RESOURCES;
  }

  if ((FindProtocol (&gEfiSmbiosProtocolGuid) == NULL) &&
      EFI_ERROR (WaitForProtocol (&gEfiSmbiosProtocolGuid, &mSmbiosEvent)))
  {
    CloseEvents ();
    return EFI_OUT_OF_RESOURCES;
  }

  UpdateWhenReady ();
  return EFI_SUCCESS;
}
