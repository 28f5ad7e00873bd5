/** @file
  The emulated firmware's handle and protocol database, with notification of
  later installations.

  An installation signals every event registered for its protocol and runs
  the notify functions before it returns. Protocol services stop the
  processor when called above TPL_NOTIFY, where EDK2's protocol lock would
  ASSERT.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_PROTOCOL_DATABASE_H_
#define EMU_PROTOCOL_DATABASE_H_

#include <Uefi.h>

#include <memory>
#include <vector>

namespace Emu {

class TraceLog;
class FaultPlan;
class EventEngine;

class ProtocolDatabase {
public:
  ProtocolDatabase (TraceLog &Log, FaultPlan &Faults, EventEngine &Events);
  ~ProtocolDatabase ();

  //
  // The services, as the driver calls them.
  //
  EFI_STATUS  RegisterProtocolNotify (EFI_GUID *Protocol, EFI_EVENT Event, VOID **Registration);
  EFI_STATUS  InstallProtocolInterface (EFI_HANDLE *Handle, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface);
  EFI_STATUS  LocateProtocol (EFI_GUID *Protocol, VOID *Registration, VOID **Interface);
  EFI_STATUS  HandleProtocol (EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface);

  ///
  /// An installation by the platform itself (another driver): no injected
  /// fault applies to it.
  ///
  EFI_STATUS  Install (const EFI_GUID &Guid, VOID *Interface, EFI_HANDLE *Handle = nullptr);

  VOID       *Find (const EFI_GUID &Guid) const;
  size_t      Count (const EFI_GUID &Guid) const;

  ///
  /// A new boot: no handles, no registrations.
  ///
  void        Reset ();

private:
  struct Handle;
  struct Registration;

  EFI_STATUS  InstallAndNotify (EFI_HANDLE *HandlePtr, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface, bool TakeFaults);
  EFI_STATUS  InstallOnHandle (EFI_HANDLE *HandlePtr, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface, bool TakeFaults);

  TraceLog                                    &mTrace;
  FaultPlan                                   &mFaults;
  EventEngine                                 &mEvents;
  std::vector<std::unique_ptr<Handle>>        mHandles;
  std::vector<std::unique_ptr<Registration>>  mRegistrations;
};

}

#endif
