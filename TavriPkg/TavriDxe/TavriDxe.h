/** @file
  Module-wide declarations of the TavriDxe driver: the hook list types, the
  module globals and every function the hook lists call.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef TAVRI_DXE_H_
#define TAVRI_DXE_H_

#include <Uefi.h>
#include <Protocol/IpmiTransport.h>

///
/// Hook of the entry hook list: gets the entry point's arguments.
///
typedef VOID (EFIAPI *ENTRY_HOOK)(IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

///
/// Hook of the IPMI-ready hook list. Its result is ignored by the list.
///
typedef UINTN (EFIAPI *IPMI_READY_HOOK)(VOID);

///
/// Hook of the boot hook list.
///
typedef VOID (EFIAPI *BOOT_HOOK)(VOID);

///
/// A hook list walk counts with an 8-bit index: at most this many hooks stand
/// before the NULL terminator.
///
constexpr UINTN  HOOK_LIST_MAX_HOOKS = 255;

/**
  A hook that returns at once and touches nothing, in both list shapes.
**/
VOID EFIAPI
NoOpHook (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

VOID EFIAPI
NoOpHook (
  VOID
  );

extern "C" {

extern VOID                     *mHobList;
extern IPMI_TRANSPORT_PROTOCOL  *mIpmiTransport;
extern UINT32                   mIioConfigAttributes;

EFI_STATUS
EFIAPI
TavriDxeEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

EFI_STATUS
CreateProtocolNotifyEvent (
  IN  EFI_GUID          *ProtocolGuid,
  IN  EFI_EVENT_NOTIFY  NotifyFunction,
  OUT EFI_EVENT         *Event,
  OUT VOID              **Registration
  );

VOID EFIAPI
OnIpmiTransportReady (
  IN EFI_EVENT  Event,
  IN VOID       *Context
  );

VOID EFIAPI
OnBootHookEvent (
  IN EFI_EVENT  Event,
  IN VOID       *Context
  );

VOID *
LookupHobList (
  VOID
  );

//
// Hooks of the IPMI-ready list, in their order.
//
EFI_STATUS EFIAPI EnforcePowerManagementPreset (VOID);
EFI_STATUS EFIAPI InstallFruAccessProtocol (VOID);
EFI_STATUS EFIAPI ProbeFruRead (VOID);
UINTN EFIAPI WriteCmosBootMarker (VOID);
EFI_STATUS EFIAPI ImportIioConfigFromHob (VOID);

}

#endif
