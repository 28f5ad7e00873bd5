/** @file
  The firmware tables a driver is handed: the system table, boot services,
  runtime services and the configuration table.

  Each service slot the board implements forwards to the piece that owns it
  (events, protocol database, variable store, boot runner); every other slot
  answers EFI_UNSUPPORTED and leaves a trace entry. Pool and page services
  fail and are counted: the driver is expected not to allocate.
**/

#ifndef EMU_FIRMWARE_TABLES_H_
#define EMU_FIRMWARE_TABLES_H_

#include <Uefi.h>

#include <vector>

namespace Emu {

class TraceLog;

class FirmwareTables {
public:
  explicit FirmwareTables (TraceLog &Log);
  FirmwareTables (const FirmwareTables &) = delete;
  FirmwareTables &operator= (const FirmwareTables &) = delete;

  EFI_SYSTEM_TABLE *SystemTable () { return &mSystemTable; }
  void              SetRevision (UINT32 Revision) { mSystemTable.Hdr.Revision = Revision; }

  //
  // The configuration table.
  //
  void              AddConfigurationTable (const EFI_GUID &Guid, VOID *Table);
  EFI_STATUS        InstallConfigurationTable (EFI_GUID *Guid, VOID *Table);
  void              ClearConfigurationTables ();

  //
  // Pool and page calls.
  //
  void              CountAllocation (const char *Service, UINT64 Size);
  UINT64            AllocationCalls () const { return mAllocationCalls; }

private:
  void              Publish ();

  TraceLog                              &mTrace;
  EFI_SYSTEM_TABLE                       mSystemTable {};
  EFI_BOOT_SERVICES                      mBootServices {};
  EFI_RUNTIME_SERVICES                   mRuntimeServices {};
  std::vector<EFI_CONFIGURATION_TABLE>   mConfigTables;
  UINT64                                 mAllocationCalls = 0;
};

}

#endif
