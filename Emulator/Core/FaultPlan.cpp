/** @file
  Failures the firmware services are told to give the driver.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FaultPlan.h"
#include "Names.h"

namespace Emu {

void
FaultPlan::FailCall (UINT64 Nth, EFI_STATUS Status)
{
  mFailAt     = (Nth == 0) ? 0 : mCalls + Nth;
  mFailStatus = Status;
}

bool
FaultPlan::TakeNamed (const std::string &Key, EFI_STATUS *Status)
{
  auto  It = mNamed.find (Key);

  if (It == mNamed.end ()) {
    return false;
  }

  *Status = It->second;
  mNamed.erase (It);
  return true;
}

bool
FaultPlan::Take (const char *Service, const CHAR16 *VariableName, EFI_STATUS *Status)
{
  return Take (Service, mNamed.empty () || (VariableName == nullptr) ? std::string () : Narrow (VariableName), Status);
}

bool
FaultPlan::Take (const char *Service, const EFI_GUID *Protocol, EFI_STATUS *Status)
{
  return Take (Service, mNamed.empty () || (Protocol == nullptr) ? std::string () : GuidName (*Protocol), Status);
}

bool
FaultPlan::Take (const char *Service, const std::string &Qualifier, EFI_STATUS *Status)
{
  mCalls++;
  if (mLogCalls) {
    mCallLog.push_back (Service);
  }

  if ((mFailAt != 0) && (mCalls == mFailAt)) {
    mFailAt = 0;
    *Status = mFailStatus;
    return true;
  }

  if (mNamed.empty ()) {
    return false;
  }

  if (!Qualifier.empty () && TakeNamed (std::string (Service) + ":" + Qualifier, Status)) {
    return true;
  }

  return TakeNamed (Service, Status);
}

}
