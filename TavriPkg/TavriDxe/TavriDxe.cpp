/** @file
  TavriDxe entry point, hook lists and event wiring.

  The entry point saves the firmware tables, runs the entry hook list and
  arranges for the other two lists to run: the IPMI-ready list once the
  platform's IPMI transport protocol is installed, the boot list at
  ready-to-boot and when the boot-hook trigger protocol is installed. Every
  change the driver makes to the platform is made by a hook.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "TavriDxe.h"
#include "Platform/FirmwareServices.h"

#include <Guid/BootHookTrigger.h>
#include <Guid/EventGroup.h>
#include <Guid/HobList.h>

VOID  *mHobList = NULL;

STATIC constexpr ENTRY_HOOK  mEntryHookList[] = {
  NoOpHook,
  NULL
};

STATIC constexpr IPMI_READY_HOOK  mIpmiReadyHookList[] = {
  EnforcePowerManagementPreset,
  InstallFruAccessProtocol,
  ProbeFruRead,
  WriteCmosBootMarker,
  ImportIioConfigFromHob,
  NULL
};

STATIC constexpr BOOT_HOOK  mBootHookList[] = {
  NoOpHook,
  NULL
};

/**
  Check at build time that a hook list is closed by NULL and that an 8-bit
  index reaches its terminator.
**/
template <typename HOOK, UINTN Count>
constexpr bool
HookListIsSound (
  CONST HOOK  (&List)[Count]
  )
{
  return (Count >= 1) && (Count - 1 <= HOOK_LIST_MAX_HOOKS) && (List[Count - 1] == NULL);
}

static_assert (HookListIsSound (mEntryHookList), "entry hook list");
static_assert (HookListIsSound (mIpmiReadyHookList), "IPMI-ready hook list");
static_assert (HookListIsSound (mBootHookList), "boot hook list");

/**
  Call each hook of a list with the same arguments, first to last, until the
  NULL terminator.
**/
template <typename HOOK, typename... ARGS>
STATIC
VOID
RunHookList (
  IN CONST HOOK  *List,
  IN ARGS...     Args
  )
{
  for (UINT8 Index = 0; List[Index] != NULL; Index++) {
    (VOID)List[Index](Args...);
  }
}

VOID EFIAPI
NoOpHook (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  (VOID)ImageHandle;
  (VOID)SystemTable;
}

VOID EFIAPI
NoOpHook (
  VOID
  )
{
}

/**
  Return the start of the HOB list from the configuration table, caching it.

  @return The HOB list, or NULL when the configuration table holds none; the
          cache then stays empty so the next call looks again.
**/
VOID *
LookupHobList (
  VOID
  )
{
  if (mHobList == NULL) {
    mHobList = FwFindConfigurationTable (&gEfiHobListGuid);
  }

  return mHobList;
}

/**
  Create a notify-signal event and register it for later installations of a
  protocol. An interface installed before the registration never signals it.

  @param[in]   ProtocolGuid    Protocol to watch.
  @param[in]   NotifyFunction  Notify function, run at TPL_CALLBACK.
  @param[out]  Event           The new event.
  @param[out]  Registration    The registration key.

  @return The status of CreateEvent, or of RegisterProtocolNotify when the
          event was made. The entry point does not act on it.
**/
EFI_STATUS
CreateProtocolNotifyEvent (
  IN  EFI_GUID          *ProtocolGuid,
  IN  EFI_EVENT_NOTIFY  NotifyFunction,
  OUT EFI_EVENT         *Event,
  OUT VOID              **Registration
  )
{
  EFI_STATUS  Status;

  Status = FwCreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, NotifyFunction, NULL, Event);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  return FwRegisterProtocolNotify (ProtocolGuid, *Event, Registration);
}

/**
  Run the IPMI-ready hook list once the IPMI transport protocol is installed,
  then close the event so that the list runs at most once per boot.
**/
VOID EFIAPI
OnIpmiTransportReady (
  IN EFI_EVENT  Event,
  IN VOID       *Context
  )
{
  (VOID)Context;

  RunHookList (mIpmiReadyHookList);
  FwCloseEvent (Event);
}

/**
  Run the boot hook list, at ready-to-boot or when the trigger protocol is
  installed, then close the event that fired. Each of the two events runs the
  list once.
**/
VOID EFIAPI
OnBootHookEvent (
  IN EFI_EVENT  Event,
  IN VOID       *Context
  )
{
  (VOID)Context;

  RunHookList (mBootHookList);
  FwCloseEvent (Event);
}

/**
  The driver's entry point.

  @param[in]  ImageHandle  The driver's image handle.
  @param[in]  SystemTable  The UEFI system table.

  @retval EFI_SUCCESS  Always: the driver stays resident whether or not its
                       events could be made.
**/
EFI_STATUS
EFIAPI
TavriDxeEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_EVENT  IpmiEvent           = NULL;
  VOID       *IpmiRegistration   = NULL;
  EFI_EVENT  TriggerEvent        = NULL;
  VOID       *TriggerRegistration = NULL;
  EFI_EVENT  ReadyToBootEvent    = NULL;

  FwSaveSystemTable (SystemTable);
  (VOID)LookupHobList ();

  RunHookList (mEntryHookList, ImageHandle, SystemTable);

  (VOID)CreateProtocolNotifyEvent (&gIpmiTransportProtocolGuid, OnIpmiTransportReady, &IpmiEvent, &IpmiRegistration);
  (VOID)CreateProtocolNotifyEvent (&gBootHookTriggerProtocolGuid, OnBootHookEvent, &TriggerEvent, &TriggerRegistration);

  //
  // Event groups came with UEFI 2.0; older firmware runs the boot list only
  // when the trigger protocol is installed.
  //
  if (FwSystemTableRevision () >= EFI_2_00_SYSTEM_TABLE_REVISION) {
    (VOID)FwCreateEventEx (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnBootHookEvent, NULL, &gEfiEventReadyToBootGuid, &ReadyToBootEvent);
  }

  return EFI_SUCCESS;
}
