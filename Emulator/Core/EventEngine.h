/** @file
  The emulated firmware's events and task priority levels.

  Events are made, signalled (alone or as a group) and closed; a signalled
  notify event runs when the TPL drops below its own, highest TPL first.
  Like a DEBUG build of EDK2 firmware, the engine stops on what only a broken
  caller does: a TPL raised downwards or restored upwards, a service called
  above the TPL it allows, an event of an invalid type or notify TPL, and any
  use of an event after CloseEvent. A closed event is kept, poisoned, until
  the next boot, so its handle can never be mistaken for a new event.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_EVENT_ENGINE_H_
#define EMU_EVENT_ENGINE_H_

#include <Uefi.h>

#include <memory>
#include <vector>

namespace Emu {

class TraceLog;
class FaultPlan;

class EventEngine {
public:
  struct Event;

  EventEngine (TraceLog &Log, FaultPlan &Faults);
  ~EventEngine ();

  //
  // The services.
  //
  EFI_STATUS  CreateEvent (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, const VOID *Context, const EFI_GUID *Group, EFI_EVENT *Out, const char *Service);
  EFI_STATUS  CloseEvent (EFI_EVENT Handle);
  EFI_STATUS  SignalEvent (EFI_EVENT Handle);
  EFI_TPL     RaiseTpl (EFI_TPL NewTpl);
  VOID        RestoreTpl (EFI_TPL OldTpl);

  ///
  /// Signal every event of a group, as the platform does at ready-to-boot.
  ///
  void        SignalGroup (const EFI_GUID &Group);

  //
  // For the protocol database.
  //
  ///
  /// The live event behind a handle; nullptr for a handle that was never an
  /// event. A closed event stops the processor.
  ///
  Event      *Lookup (EFI_EVENT Handle, const char *Service) const;
  unsigned    IdOf (const Event *Ev) const;
  void        Queue (Event *Ev);
  void        Dispatch ();

  ///
  /// Stop the processor when the current TPL is above Max.
  ///
  void        RequireTplAtMost (const char *Service, EFI_TPL Max) const;

  EFI_TPL     Tpl () const { return mTpl; }
  size_t      LiveCount () const;

  ///
  /// A new boot: no events, TPL_APPLICATION.
  ///
  void        Reset ();

private:
  Event      *Find (EFI_EVENT Handle) const;

  TraceLog                              &mTrace;
  FaultPlan                             &mFaults;
  std::vector<std::unique_ptr<Event>>   mEvents;     ///< closed ones too, until Reset
  std::vector<Event *>                  mPending;
  EFI_TPL                               mTpl = TPL_APPLICATION;
};

}

#endif
