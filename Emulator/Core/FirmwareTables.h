/** @file
  The firmware tables a driver is handed: the system table, boot services,
  runtime services and the configuration table, with the HOB list the
  earlier phases leave.

  Each service slot the firmware implements forwards to the piece that owns
  it (events, protocol database, variable store) or, for ResetSystem, to the
  handler the board gives; every other slot answers EFI_UNSUPPORTED and
  leaves a trace entry. Pool and page services fail and are counted: the
  driver is expected not to allocate.

  A service call carries no pointer to the tables it came through, so one
  set of tables is live at a time: the entry points reach it through one
  pointer that the constructor sets and the destructor clears. Making a
  second set while one is live stops the program.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_FIRMWARE_TABLES_H_
#define EMU_FIRMWARE_TABLES_H_

#include <Uefi.h>

#include <functional>
#include <vector>

namespace Emu {

class TraceLog;
class EventEngine;
class ProtocolDatabase;
class VariableStore;

using Bytes = std::vector<UINT8>;

class FirmwareTables {
public:
  ///
  /// What ResetSystem does once it has been traced; it does not return.
  ///
  using ResetHandler = std::function<void (EFI_RESET_TYPE Type, EFI_STATUS Status)>;

  FirmwareTables (TraceLog &Log, EventEngine &Events, ProtocolDatabase &Protocols, VariableStore &Variables, ResetHandler OnResetSystem);
  ~FirmwareTables ();
  FirmwareTables (const FirmwareTables &) = delete;
  FirmwareTables &operator= (const FirmwareTables &) = delete;

  EFI_SYSTEM_TABLE *SystemTable () { return &mSystemTable; }
  void              SetRevision (UINT32 Revision) { mSystemTable.Hdr.Revision = Revision; }

  //
  // The configuration table.
  //
  void              AddConfigurationTable (const EFI_GUID &Guid, VOID *Table);
  EFI_STATUS        InstallConfigurationTable (EFI_GUID *Guid, VOID *Table);

  ///
  /// A new boot: the configuration table holds only the HOB list, if any.
  ///
  void              ResetConfigurationTables ();

  //
  // The HOB list the earlier phases leave: kept 8-byte aligned, and put in
  // the configuration table by ResetConfigurationTables.
  //
  void              SetHobList (const Bytes &Raw);
  const UINT8      *HobList () const { return mHobList.empty () ? nullptr : reinterpret_cast<const UINT8 *>(mHobList.data ()); }
  size_t            HobListSize () const { return mHobListSize; }

  //
  // Pool and page calls.
  //
  void              CountAllocation (const char *Service, UINT64 Size);
  UINT64            AllocationCalls () const { return mAllocationCalls; }

private:
  void              Publish ();

  friend struct LiveTables;

  TraceLog                              &mTrace;
  EventEngine                           &mEvents;
  ProtocolDatabase                      &mProtocols;
  VariableStore                         &mVariables;
  ResetHandler                           mOnResetSystem;
  EFI_SYSTEM_TABLE                       mSystemTable {};
  EFI_BOOT_SERVICES                      mBootServices {};
  EFI_RUNTIME_SERVICES                   mRuntimeServices {};
  std::vector<EFI_CONFIGURATION_TABLE>   mConfigTables;
  UINT64                                 mAllocationCalls = 0;
  std::vector<UINT64>                    mHobList;        ///< 8-byte aligned storage
  size_t                                 mHobListSize = 0;
};

}

#endif
