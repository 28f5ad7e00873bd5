/** @file
  The emulated processor: MSRs, the time-stamp counter and PAUSE.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "Processor.h"
#include "Core/Names.h"
#include "Core/TraceLog.h"

namespace Emu {

UINT64
Processor::ReadMsr (UINT32 Index)
{
  auto    It    = mMsrs.find (Index);
  UINT64  Value = (It == mMsrs.end ()) ? 0 : It->second;

  if (mTrace.Recording ()) {
    mTrace.Record ("ReadMsr", Hex (Index) + " -> " + Hex (Value), Index, Value);
  }

  return Value;
}

UINT64
Processor::ReadTsc ()
{
  UINT64  Value = mTsc;

  mTsc += mTscStep;
  mTscReads++;
  if (mTraceTsc && mTrace.Recording ()) {
    mTrace.Record ("ReadTsc", Hex (Value), Value);
  }

  return Value;
}

}
