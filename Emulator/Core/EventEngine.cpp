/** @file
  The emulated firmware's events and task priority levels.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EventEngine.h"
#include "FaultPlan.h"
#include "FirmwareAssert.h"
#include "Names.h"
#include "TraceLog.h"

#include <algorithm>

namespace Emu {

namespace {

constexpr UINT32  EVENT_SIGNATURE = 0x746E7665;   // "evnt"
constexpr UINT32  CLOSED_POISON   = 0xAFAFAFAF;

//
// The event types a caller may ask for, as EDK2 accepts them.
//
bool
ValidEventType (UINT32 Type)
{
  static const UINT32  Valid[] = {
    0, EVT_TIMER, EVT_NOTIFY_WAIT, EVT_NOTIFY_SIGNAL, EVT_SIGNAL_EXIT_BOOT_SERVICES,
    EVT_SIGNAL_VIRTUAL_ADDRESS_CHANGE, EVT_RUNTIME, EVT_TIMER | EVT_NOTIFY_WAIT,
    EVT_TIMER | EVT_NOTIFY_SIGNAL, EVT_TIMER | EVT_RUNTIME, EVT_TIMER | EVT_RUNTIME | EVT_NOTIFY_SIGNAL,
    EVT_RUNTIME | EVT_NOTIFY_SIGNAL, EVT_RUNTIME | EVT_NOTIFY_WAIT
  };

  return std::find (std::begin (Valid), std::end (Valid), Type) != std::end (Valid);
}

}  // namespace

struct EventEngine::Event {
  UINT32            Signature = EVENT_SIGNATURE;
  UINT32            Type = 0;
  EFI_TPL           Tpl = 0;
  EFI_EVENT_NOTIFY  Notify = nullptr;
  const VOID       *Context = nullptr;
  bool              HasGroup = false;
  EFI_GUID          Group {};
  bool              Pending = false;
  bool              Signaled = false;
  unsigned          Id = 0;

  bool  Closed () const { return Signature != EVENT_SIGNATURE; }
};

EventEngine::EventEngine (TraceLog &Log, FaultPlan &Faults)
  : mTrace (Log), mFaults (Faults)
{
}

EventEngine::~EventEngine () = default;

void
EventEngine::Reset ()
{
  mEvents.clear ();
  mPending.clear ();
  mTpl = TPL_APPLICATION;
}

void
EventEngine::RequireTplAtMost (const char *Service, EFI_TPL Max) const
{
  if (mTpl > Max) {
    FirmwareAssert (std::string (Service) + " called at TPL " + std::to_string (mTpl) + ", above " + std::to_string (Max));
  }
}

EventEngine::Event *
EventEngine::Find (EFI_EVENT Handle) const
{
  for (const auto &Ev : mEvents) {
    if (Ev.get () == Handle) {
      return Ev.get ();
    }
  }

  return nullptr;
}

EventEngine::Event *
EventEngine::Lookup (EFI_EVENT Handle, const char *Service) const
{
  Event  *Ev = Find (Handle);

  if ((Ev != nullptr) && Ev->Closed ()) {
    FirmwareAssert (std::string (Service) + " given event#" + std::to_string (Ev->Id) + " after CloseEvent");
  }

  return Ev;
}

unsigned
EventEngine::IdOf (const Event *Ev) const
{
  return Ev->Id;
}

EFI_STATUS
EventEngine::CreateEvent (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, const VOID *Context, const EFI_GUID *Group, EFI_EVENT *Out, const char *Service)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = mFaults.Take (Service, &Injected);
  std::string  Detail   = "type=" + Hex (Type) + " tpl=" + std::to_string (Tpl) + (Context == nullptr ? " context=NULL" : " context=set") +
                          (Group != nullptr ? " group=" + GuidName (*Group) : "");

  RequireTplAtMost (Service, TPL_NOTIFY);
  if (Faulted && EFI_ERROR (Injected)) {
    mTrace.Record (Service, Detail + " -> " + StatusName (Injected), Tpl, Type, Injected);
    return Injected;
  }

  if (!ValidEventType (Type)) {
    FirmwareAssert (std::string (Service) + " with invalid type " + Hex (Type));
  }

  if (((Type & (EVT_NOTIFY_SIGNAL | EVT_NOTIFY_WAIT)) != 0) &&
      ((Notify == nullptr) || (Tpl <= TPL_APPLICATION) || (Tpl >= TPL_HIGH_LEVEL)))
  {
    FirmwareAssert (std::string (Service) + " of a notify event with " + ((Notify == nullptr) ? "no notify function" : "notify TPL " + std::to_string (Tpl)));
  }

  if (Out == nullptr) {
    mTrace.Record (Service, Detail + " -> EFI_INVALID_PARAMETER", Tpl, Type, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  auto  Ev = std::make_unique<Event>();
  Ev->Type     = Type;
  Ev->Tpl      = Tpl;
  Ev->Notify   = Notify;
  Ev->Context  = Context;
  Ev->HasGroup = (Group != nullptr);
  Ev->Group    = (Group != nullptr) ? *Group : EFI_GUID {};
  Ev->Id       = static_cast<unsigned>(mEvents.size () + 1);
  *Out         = Ev.get ();

  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  mTrace.Record (Service, Detail + " -> event#" + std::to_string (Ev->Id) + " " + StatusName (Status), Tpl, Type, Status);
  mEvents.push_back (std::move (Ev));
  return Status;
}

EFI_STATUS
EventEngine::CloseEvent (EFI_EVENT Handle)
{
  EFI_STATUS  Injected = EFI_SUCCESS;
  bool        Faulted  = mFaults.Take ("CloseEvent", &Injected);

  RequireTplAtMost ("CloseEvent", TPL_NOTIFY);
  if (Faulted && EFI_ERROR (Injected)) {
    mTrace.Record ("CloseEvent", "-> " + StatusName (Injected), 0, 0, Injected);
    return Injected;
  }

  Event  *Ev = Lookup (Handle, "CloseEvent");
  if (Ev == nullptr) {
    mTrace.Record ("CloseEvent", "unknown event -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  //
  // Poison it: nothing of the event is usable any more, and the handle stays
  // taken until the next boot.
  //
  Ev->Signature = CLOSED_POISON;
  Ev->Notify    = nullptr;
  Ev->Context   = nullptr;
  mPending.erase (std::remove (mPending.begin (), mPending.end (), Ev), mPending.end ());
  Ev->Pending = false;

  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  mTrace.Record ("CloseEvent", "event#" + std::to_string (Ev->Id), Ev->Id, 0, Status);
  return Status;
}

void
EventEngine::Queue (Event *Ev)
{
  if (Ev->Closed ()) {
    return;
  }

  if ((Ev->Type & EVT_NOTIFY_SIGNAL) == 0) {
    Ev->Signaled = true;
    return;
  }

  if (!Ev->Pending) {
    Ev->Pending = true;
    mPending.push_back (Ev);
  }
}

void
EventEngine::Dispatch ()
{
  //
  // Run the pending notify functions above the current TPL, highest TPL
  // first, in signal order within a TPL. A notify function may signal more
  // events; they join the queue. No iterator or object with a destructor is
  // held across the call, so a reset may end the boot inside it.
  //
  for (;;) {
    size_t  Best = mPending.size ();
    for (size_t Index = 0; Index < mPending.size (); Index++) {
      if ((mPending[Index]->Tpl > mTpl) && ((Best == mPending.size ()) || (mPending[Index]->Tpl > mPending[Best]->Tpl))) {
        Best = Index;
      }
    }

    if (Best == mPending.size ()) {
      return;
    }

    Event  *Ev = mPending[Best];
    mPending.erase (mPending.begin () + static_cast<std::ptrdiff_t>(Best));
    Ev->Pending = false;

    EFI_TPL  Saved = mTpl;
    mTpl = Ev->Tpl;
    mTrace.Record ("Notify", "event#" + std::to_string (Ev->Id) + " at tpl " + std::to_string (Ev->Tpl), Ev->Id, Ev->Tpl);
    Ev->Notify (Ev, const_cast<VOID *>(Ev->Context));
    mTpl = Saved;
  }
}

EFI_STATUS
EventEngine::SignalEvent (EFI_EVENT Handle)
{
  Event  *Ev = Lookup (Handle, "SignalEvent");

  if (Ev == nullptr) {
    mTrace.Record ("SignalEvent", "unknown event -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  mTrace.Record ("SignalEvent", "event#" + std::to_string (Ev->Id), Ev->Id);
  if (Ev->HasGroup) {
    EFI_GUID  Group = Ev->Group;
    for (const auto &Member : mEvents) {
      if (Member->HasGroup && GuidEqual (Member->Group, Group)) {
        Queue (Member.get ());
      }
    }
  } else {
    Queue (Ev);
  }

  Dispatch ();
  return EFI_SUCCESS;
}

void
EventEngine::SignalGroup (const EFI_GUID &Group)
{
  for (const auto &Member : mEvents) {
    if (Member->HasGroup && GuidEqual (Member->Group, Group)) {
      Queue (Member.get ());
    }
  }

  Dispatch ();
}

EFI_TPL
EventEngine::RaiseTpl (EFI_TPL NewTpl)
{
  EFI_TPL  Old = mTpl;

  if ((NewTpl < Old) || (NewTpl > TPL_HIGH_LEVEL)) {
    FirmwareAssert ("RaiseTPL from " + std::to_string (Old) + " to " + std::to_string (NewTpl));
  }

  mTpl = NewTpl;
  return Old;
}

VOID
EventEngine::RestoreTpl (EFI_TPL OldTpl)
{
  if ((OldTpl > mTpl) || (OldTpl > TPL_HIGH_LEVEL)) {
    FirmwareAssert ("RestoreTPL from " + std::to_string (mTpl) + " up to " + std::to_string (OldTpl));
  }

  mTpl = OldTpl;
  Dispatch ();
}

size_t
EventEngine::LiveCount () const
{
  return static_cast<size_t>(std::count_if (mEvents.begin (), mEvents.end (), [](const std::unique_ptr<Event> &E) { return !E->Closed (); }));
}

}
