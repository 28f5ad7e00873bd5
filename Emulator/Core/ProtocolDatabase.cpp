/** @file
  The emulated firmware's handle and protocol database.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "ProtocolDatabase.h"
#include "EventEngine.h"
#include "FaultPlan.h"
#include "Names.h"
#include "TraceLog.h"

namespace Emu {

struct ProtocolDatabase::Handle {
  std::vector<std::pair<EFI_GUID, VOID *>>  Protocols;
};

struct ProtocolDatabase::Registration {
  EFI_GUID             Protocol {};
  EventEngine::Event  *Target = nullptr;
};

ProtocolDatabase::ProtocolDatabase (TraceLog &Log, FaultPlan &Faults, EventEngine &Events)
  : mTrace (Log), mFaults (Faults), mEvents (Events)
{
}

ProtocolDatabase::~ProtocolDatabase () = default;

void
ProtocolDatabase::Reset ()
{
  mHandles.clear ();
  mRegistrations.clear ();
}

EFI_STATUS
ProtocolDatabase::RegisterProtocolNotify (EFI_GUID *Protocol, EFI_EVENT EventHandle, VOID **Key)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = mFaults.Take ("RegisterProtocolNotify", &Injected);
  std::string  Detail   = (Protocol != nullptr) ? GuidName (*Protocol) : "NULL";

  mEvents.RequireTplAtMost ("RegisterProtocolNotify", TPL_NOTIFY);
  if (Faulted && EFI_ERROR (Injected)) {
    mTrace.Record ("RegisterProtocolNotify", Detail + " -> " + StatusName (Injected), 0, 0, Injected);
    return Injected;
  }

  EventEngine::Event  *Ev = mEvents.Lookup (EventHandle, "RegisterProtocolNotify");
  if ((Protocol == nullptr) || (Ev == nullptr) || (Key == nullptr)) {
    mTrace.Record ("RegisterProtocolNotify", Detail + " -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  auto  Reg = std::make_unique<Registration>();
  Reg->Protocol = *Protocol;
  Reg->Target   = Ev;
  *Key          = Reg.get ();
  mRegistrations.push_back (std::move (Reg));

  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  mTrace.Record ("RegisterProtocolNotify", Detail + " event#" + std::to_string (mEvents.IdOf (Ev)), mEvents.IdOf (Ev), 0, Status);
  return Status;
}

EFI_STATUS
ProtocolDatabase::InstallProtocolInterface (EFI_HANDLE *HandlePtr, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface)
{
  return InstallAndNotify (HandlePtr, Protocol, Type, Interface, true);
}

EFI_STATUS
ProtocolDatabase::Install (const EFI_GUID &Guid, VOID *Interface, EFI_HANDLE *HandleOut)
{
  EFI_HANDLE  NewHandle = nullptr;
  EFI_GUID    Copy      = Guid;

  return InstallAndNotify ((HandleOut != nullptr) ? HandleOut : &NewHandle, &Copy, EFI_NATIVE_INTERFACE, Interface, false);
}

EFI_STATUS
ProtocolDatabase::InstallAndNotify (EFI_HANDLE *HandlePtr, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface, bool TakeFaults)
{
  EFI_STATUS  Status = InstallOnHandle (HandlePtr, Protocol, Type, Interface, TakeFaults);

  if (EFI_ERROR (Status)) {
    return Status;
  }

  //
  // Signal every event registered for this protocol, then run the notify
  // functions. Nothing with a destructor is alive here: a notify function may
  // reset the platform.
  //
  for (size_t Index = 0; Index < mRegistrations.size (); Index++) {
    if (GuidEqual (mRegistrations[Index]->Protocol, *Protocol)) {
      mEvents.Queue (mRegistrations[Index]->Target);
    }
  }

  mEvents.Dispatch ();
  return Status;
}

EFI_STATUS
ProtocolDatabase::InstallOnHandle (EFI_HANDLE *HandlePtr, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface, bool TakeFaults)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = TakeFaults && mFaults.Take ("InstallProtocolInterface", Protocol, &Injected);
  std::string  Detail   = (Protocol != nullptr) ? GuidName (*Protocol) : "NULL";

  mEvents.RequireTplAtMost ("InstallProtocolInterface", TPL_NOTIFY);
  if (Faulted && EFI_ERROR (Injected)) {
    mTrace.Record ("InstallProtocolInterface", Detail + " -> " + StatusName (Injected), 0, 0, Injected);
    return Injected;
  }

  if ((HandlePtr == nullptr) || (Protocol == nullptr) || (Type != EFI_NATIVE_INTERFACE)) {
    mTrace.Record ("InstallProtocolInterface", Detail + " -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  Handle  *Target = nullptr;
  if (*HandlePtr == nullptr) {
    mHandles.push_back (std::make_unique<Handle>());
    Target     = mHandles.back ().get ();
    *HandlePtr = Target;
  } else {
    for (const auto &H : mHandles) {
      Target = (H.get () == *HandlePtr) ? H.get () : Target;
    }

    if (Target == nullptr) {
      mTrace.Record ("InstallProtocolInterface", Detail + " unknown handle -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
      return EFI_INVALID_PARAMETER;
    }

    for (const auto &P : Target->Protocols) {
      if (GuidEqual (P.first, *Protocol)) {
        mTrace.Record ("InstallProtocolInterface", Detail + " already on handle -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
        return EFI_INVALID_PARAMETER;
      }
    }
  }

  Target->Protocols.push_back ({ *Protocol, Interface });
  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  mTrace.Record ("InstallProtocolInterface", Detail + (Faulted ? " -> " + StatusName (Status) : ""), 0, 0, Status);
  return Status;
}

EFI_STATUS
ProtocolDatabase::HandleProtocol (EFI_HANDLE HandleValue, EFI_GUID *Protocol, VOID **Interface)
{
  mEvents.RequireTplAtMost ("HandleProtocol", TPL_NOTIFY);
  if ((Protocol == nullptr) || (Interface == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  for (const auto &H : mHandles) {
    if (H.get () == HandleValue) {
      for (const auto &P : H->Protocols) {
        if (GuidEqual (P.first, *Protocol)) {
          *Interface = P.second;
          return EFI_SUCCESS;
        }
      }
    }
  }

  return EFI_UNSUPPORTED;
}

EFI_STATUS
ProtocolDatabase::LocateProtocol (EFI_GUID *Protocol, VOID *Registration, VOID **Interface)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = mFaults.Take ("LocateProtocol", Protocol, &Injected);
  std::string  Detail   = (Protocol != nullptr) ? GuidName (*Protocol) : "NULL";

  mEvents.RequireTplAtMost ("LocateProtocol", TPL_NOTIFY);
  if (Faulted && EFI_ERROR (Injected)) {
    mTrace.Record ("LocateProtocol", Detail + " -> " + StatusName (Injected), 0, 0, Injected);
    return Injected;
  }

  if ((Protocol == nullptr) || (Interface == nullptr) || (Registration != nullptr)) {
    mTrace.Record ("LocateProtocol", Detail + " -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  if (Count (*Protocol) == 0) {
    *Interface = nullptr;
    mTrace.Record ("LocateProtocol", Detail + " -> EFI_NOT_FOUND", 0, 0, EFI_NOT_FOUND);
    return EFI_NOT_FOUND;
  }

  *Interface = Find (*Protocol);
  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  mTrace.Record ("LocateProtocol", Detail + (Faulted ? " -> " + StatusName (Status) : ""), 0, 0, Status);
  return Status;
}

VOID *
ProtocolDatabase::Find (const EFI_GUID &Guid) const
{
  for (const auto &H : mHandles) {
    for (const auto &P : H->Protocols) {
      if (GuidEqual (P.first, Guid)) {
        return P.second;
      }
    }
  }

  return nullptr;
}

size_t
ProtocolDatabase::Count (const EFI_GUID &Guid) const
{
  size_t  Found = 0;

  for (const auto &H : mHandles) {
    for (const auto &P : H->Protocols) {
      Found += GuidEqual (P.first, Guid) ? 1 : 0;
    }
  }

  return Found;
}

}
