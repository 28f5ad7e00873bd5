/** @file
  The emulated firmware's UEFI variable store, with OVMF's limits.

  Sizes are counted as EDK2's variable driver counts them in OVMF's 4 MiB
  flash layout: every variable takes a 60-byte authenticated-format header,
  its name (UCS-2 with the terminator) and its data, each padded to 4 bytes;
  one variable's name and data may take at most 0x8400 bytes less the header
  (more is EFI_INVALID_PARAMETER), and the non-volatile and the volatile
  store hold 0x40000 bytes each, less the store header (a write that does not
  fit is EFI_OUT_OF_RESOURCES). A variable the platform has locked answers
  EFI_WRITE_PROTECTED. The services stop the processor when called above
  TPL_CALLBACK.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_VARIABLE_STORE_H_
#define EMU_VARIABLE_STORE_H_

#include <Uefi.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace Emu {

class TraceLog;
class FaultPlan;
class EventEngine;

using Bytes = std::vector<UINT8>;

///
/// One variable of the store.
///
struct Variable {
  UINT32  Attributes = 0;
  Bytes   Data;
};

///
/// The store's limits; the defaults are OVMF's (4 MiB flash image).
///
struct VariableLimits {
  size_t  MaxVariableSize = 0x8400;    ///< header, name and data of one variable
  size_t  StoreSize       = 0x40000;   ///< each of the non-volatile and volatile stores
};

class VariableStore {
public:
  static constexpr size_t  HEADER_SIZE       = 60;   ///< authenticated-format variable header
  static constexpr size_t  STORE_HEADER_SIZE = 28;   ///< variable store header

  VariableStore (TraceLog &Log, FaultPlan &Faults, EventEngine &Events);

  //
  // The services, as the driver calls them.
  //
  EFI_STATUS  GetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 *Attributes, UINTN *DataSize, VOID *Data);
  EFI_STATUS  SetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 Attributes, UINTN DataSize, const VOID *Data);

  //
  // The platform's own access: no limits, no faults, no trace.
  //
  void            Put (const std::u16string &Name, const EFI_GUID &Guid, UINT32 Attributes, const Bytes &Data);
  const Variable *Find (const std::u16string &Name, const EFI_GUID &Guid) const;
  void            Delete (const std::u16string &Name, const EFI_GUID &Guid);

  ///
  /// Lock a variable, as a platform that locks it on every boot: SetVariable
  /// of it answers EFI_WRITE_PROTECTED from now on.
  ///
  void            Lock (const std::u16string &Name, const EFI_GUID &Guid);

  void            SetLimits (const VariableLimits &Limits) { mLimits = Limits; }
  const VariableLimits &Limits () const { return mLimits; }

  ///
  /// Bytes taken in the non-volatile (or volatile) store, headers included.
  ///
  size_t          Used (bool NonVolatile) const;

  ///
  /// The store space one variable takes.
  ///
  static size_t   RecordSize (size_t NameChars, size_t DataSize);

  ///
  /// A new boot: only non-volatile variables are left.
  ///
  void            DropVolatile ();

private:
  using Key = std::pair<std::u16string, std::string>;

  TraceLog                    &mTrace;
  FaultPlan                   &mFaults;
  EventEngine                 &mEvents;
  std::map<Key, Variable>     mVariables;
  std::set<Key>               mLocked;
  VariableLimits              mLimits;
};

}

#endif
