/** @file
  Failures the firmware services are told to give the driver.

  Two kinds: a named one-shot fault ("the next SetVariable of SocketIioConfig
  fails") that a new boot forgets, and a counted fault ("the Nth service call
  from now fails"), which counts every service call the driver makes through
  the firmware tables across boots, the way an error-injection sweep walks a
  call counter.

  An error status changes nothing; a warning lets the call do its work and
  then returns the warning.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_FAULT_PLAN_H_
#define EMU_FAULT_PLAN_H_

#include <Uefi.h>

#include <map>
#include <string>
#include <vector>

namespace Emu {

class FaultPlan {
public:
  ///
  /// The next call of Service returns Status. "GetVariable:Name" and
  /// "SetVariable:Name" apply to one variable only, "LocateProtocol:GUID" and
  /// "InstallProtocolInterface:GUID" to one protocol.
  ///
  void   FailNext (const std::string &Service, EFI_STATUS Status) { mNamed[Service] = Status; }

  ///
  /// The Nth service call from now (1 for the next one) returns Status.
  ///
  void   FailCall (UINT64 Nth, EFI_STATUS Status);

  ///
  /// Keep the name of every service call from now on (for a sweep that needs
  /// to know which service the Nth call is).
  ///
  void   LogCalls (bool On) { mLogCalls = On; }
  const std::vector<const char *> &CallLog () const { return mCallLog; }
  UINT64 Calls () const { return mCalls; }

  ///
  /// Called once at the start of every service call the driver makes. Counts
  /// the call and tells whether a fault applies to it, and which status.
  /// Service must be a string that lives for the program's life; the
  /// variable or protocol the call is about picks a named fault for it.
  ///
  bool   Take (const char *Service, EFI_STATUS *Status) { return Take (Service, std::string (), Status); }
  bool   Take (const char *Service, const CHAR16 *VariableName, EFI_STATUS *Status);
  bool   Take (const char *Service, const EFI_GUID *Protocol, EFI_STATUS *Status);

  ///
  /// A new boot forgets the named faults; a counted fault stays armed.
  ///
  void   ForgetNamed () { mNamed.clear (); }

private:
  bool   Take (const char *Service, const std::string &Qualifier, EFI_STATUS *Status);
  bool   TakeNamed (const std::string &Key, EFI_STATUS *Status);

  std::map<std::string, EFI_STATUS>  mNamed;
  UINT64                             mCalls = 0;
  UINT64                             mFailAt = 0;       ///< 0: no counted fault
  EFI_STATUS                         mFailStatus = EFI_SUCCESS;
  bool                               mLogCalls = false;
  std::vector<const char *>          mCallLog;
};

}

#endif
