/** @file
  The board's trace: everything the driver did, as the board saw it, in the
  order it happened.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_TRACE_LOG_H_
#define EMU_TRACE_LOG_H_

#include <Uefi.h>

#include <string>
#include <vector>

namespace Emu {

///
/// One thing the driver did, as the board saw it.
///
struct TraceEntry {
  std::string    Op;          ///< "CreateEvent", "IoWrite8", "GetVariable", ...
  std::string    Detail;      ///< readable arguments
  UINT64         A      = 0;  ///< first numeric argument (port, MSR, TPL, size, ...)
  UINT64         B      = 0;  ///< second numeric argument (value, type, ...)
  EFI_STATUS     Status = EFI_SUCCESS;
};

class TraceLog {
public:
  ///
  /// Whether entries are kept. A long fuzz run that reads nothing back turns
  /// recording off, so that the board neither grows nor formats text.
  ///
  bool   Recording () const { return mRecording; }
  void   SetRecording (bool On) { mRecording = On; }

  void   Record (const std::string &Op, const std::string &Detail, UINT64 A = 0, UINT64 B = 0, EFI_STATUS Status = EFI_SUCCESS);
  void   Clear () { mEntries.clear (); }

  const std::vector<TraceEntry> &Entries () const { return mEntries; }
  size_t                         Size () const { return mEntries.size (); }
  size_t                         Count (const std::string &Op, size_t From = 0) const;
  std::vector<TraceEntry>        Select (const std::string &Op, size_t From = 0) const;
  std::string                    Format (size_t From = 0, size_t To = SIZE_MAX) const;

private:
  std::vector<TraceEntry>  mEntries;
  bool                     mRecording = true;
};

}

#endif
