/** @file
  The board's trace.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "TraceLog.h"

#include <algorithm>

namespace Emu {

void
TraceLog::Record (const std::string &Op, const std::string &Detail, UINT64 A, UINT64 B, EFI_STATUS Status)
{
  if (mRecording) {
    mEntries.push_back ({ Op, Detail, A, B, Status });
  }
}

size_t
TraceLog::Count (const std::string &Op, size_t From) const
{
  size_t  Found = 0;

  for (size_t Index = From; Index < mEntries.size (); Index++) {
    Found += (mEntries[Index].Op == Op) ? 1 : 0;
  }

  return Found;
}

std::vector<TraceEntry>
TraceLog::Select (const std::string &Op, size_t From) const
{
  std::vector<TraceEntry>  Out;

  for (size_t Index = From; Index < mEntries.size (); Index++) {
    if (mEntries[Index].Op == Op) {
      Out.push_back (mEntries[Index]);
    }
  }

  return Out;
}

std::string
TraceLog::Format (size_t From, size_t To) const
{
  std::string  Text;

  To = std::min (To, mEntries.size ());
  for (size_t Index = From; Index < To; Index++) {
    const TraceEntry  &E = mEntries[Index];
    Text += "  " + E.Op;
    if (!E.Detail.empty ()) {
      Text += " " + E.Detail;
    }

    Text += "\n";
  }

  return Text;
}

}
