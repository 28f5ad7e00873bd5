/** @file
  An emulated x86-64 server board with a small DXE firmware, for running the
  driver on the host.

  The board is made of the pieces a reader finds by name: the firmware tables
  (FirmwareTables), events and TPL (EventEngine), the handle and protocol
  database (ProtocolDatabase), the variable store (VariableStore), injected
  service failures (FaultPlan), the processor (Processor), the chipset
  (Chipset), the trace (TraceLog), the BMC (EmulatedBmc) and the boot runner
  (BootRunner). This class composes them and keeps one front for tests.

  Only one board is live at a time: a driver image reaches the board through
  the firmware tables and the processor's instructions, which have no room to
  say which board they mean. Making a second one while the first is live
  stops the program.
**/

#ifndef EMULATED_BOARD_H_
#define EMULATED_BOARD_H_

#include <Uefi.h>
#include <Pi/PiHob.h>

#include "BootRunner.h"
#include "Chipset.h"
#include "EventEngine.h"
#include "FaultPlan.h"
#include "FirmwareTables.h"
#include "HobListBuilder.h"
#include "Names.h"
#include "Processor.h"
#include "ProtocolDatabase.h"
#include "TraceLog.h"
#include "VariableStore.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Emu {

class EmulatedBmc;
class DriverImage;

class EmulatedBoard {
public:
  EmulatedBoard ();
  ~EmulatedBoard ();
  EmulatedBoard (const EmulatedBoard &) = delete;
  EmulatedBoard &operator= (const EmulatedBoard &) = delete;

  ///
  /// The live board, or nullptr.
  ///
  static EmulatedBoard *Active ();

  //
  // The pieces.
  //
  FirmwareTables    &Tables () { return mTables; }
  EventEngine       &Events () { return mEvents; }
  ProtocolDatabase  &Protocols () { return mProtocols; }
  VariableStore     &Variables () { return mVariables; }
  FaultPlan         &Faults () { return mFaults; }
  Processor         &Cpu () { return mCpu; }
  Chipset           &Chip () { return mChipset; }
  TraceLog          &Log () { return mTrace; }
  BootRunner        &Runner () { return mRunner; }
  EmulatedBmc       &Bmc () { return *mBmc; }

  ///
  /// The driver image the current boot loaded; it stays loaded until the next
  /// boot starts.
  ///
  DriverImage       &Image () { return *mImage; }

  //
  // Firmware tables.
  //
  EFI_SYSTEM_TABLE *SystemTable () { return mTables.SystemTable (); }
  EFI_HANDLE        ImageHandle () { return mImageHandle; }
  void              SetRevision (UINT32 Revision) { mTables.SetRevision (Revision); }
  void              AddConfigurationTable (const EFI_GUID &Guid, VOID *Table) { mTables.AddConfigurationTable (Guid, Table); }

  ///
  /// The HOB list the earlier phases leave; installed in the configuration
  /// table at the start of every boot.
  ///
  void              SetHobList (const HobListBuilder &Builder) { SetHobListBytes (Builder.Data ()); }
  void              SetHobListBytes (const Bytes &Raw);
  const UINT8      *HobList () const { return mHobList.empty () ? nullptr : reinterpret_cast<const UINT8 *>(mHobList.data ()); }
  size_t            HobListSize () const { return mHobListSize; }

  //
  // Boot services as the platform uses them (at TPL_APPLICATION).
  //
  EFI_STATUS  InstallProtocol (const EFI_GUID &Guid, VOID *Interface, EFI_HANDLE *Handle = nullptr) { return mProtocols.Install (Guid, Interface, Handle); }
  VOID       *FindProtocol (const EFI_GUID &Guid) const { return mProtocols.Find (Guid); }
  size_t      ProtocolCount (const EFI_GUID &Guid) const { return mProtocols.Count (Guid); }
  void        SignalReadyToBoot ();
  size_t      LiveEventCount () const { return mEvents.LiveCount (); }
  EFI_TPL     CurrentTpl () const { return mEvents.Tpl (); }

  ///
  /// Make the next call of a service ("CreateEvent", "CreateEventEx",
  /// "RegisterProtocolNotify", "CloseEvent", "LocateProtocol",
  /// "InstallProtocolInterface", "GetVariable", "SetVariable") return Status;
  /// "GetVariable:Name" and "SetVariable:Name" apply to one variable only,
  /// "LocateProtocol:GUID" and "InstallProtocolInterface:GUID" to one protocol.
  /// An error status changes nothing; a warning lets the call do its work and
  /// then returns the warning. Only the driver's calls through the firmware
  /// tables take faults, not the platform's own installations.
  ///
  void        FailNext (const std::string &Service, EFI_STATUS Status) { mFaults.FailNext (Service, Status); }

  //
  // Variable store (the platform's own access: no limits, no trace).
  //
  void            PutVariable (const std::u16string &Name, const EFI_GUID &Guid, UINT32 Attributes, const Bytes &Data) { mVariables.Put (Name, Guid, Attributes, Data); }
  const Variable *FindVariable (const std::u16string &Name, const EFI_GUID &Guid) const { return mVariables.Find (Name, Guid); }
  void            DeleteVariable (const std::u16string &Name, const EFI_GUID &Guid) { mVariables.Delete (Name, Guid); }
  void            LockVariable (const std::u16string &Name, const EFI_GUID &Guid) { mVariables.Lock (Name, Guid); }

  //
  // Processor.
  //
  void    SetMsr (UINT32 Index, UINT64 Value) { mCpu.SetMsr (Index, Value); }
  void    SetTsc (UINT64 Value) { mCpu.SetTsc (Value); }
  void    SetTscStep (UINT64 Step) { mCpu.SetTscStep (Step); }
  UINT64  Tsc () const { return mCpu.Tsc (); }
  UINT64  PauseCount () const { return mCpu.PauseCount (); }
  UINT64  TscReadCount () const { return mCpu.TscReadCount (); }
  UINT64  ReadMsr (UINT32 Index) { return mCpu.ReadMsr (Index); }
  UINT64  ReadTsc () { return mCpu.ReadTsc (); }
  VOID    Pause () { mCpu.Pause (); }

  //
  // Chipset.
  //
  UINT8   ExtendedCmos (UINT8 Index) const { return mChipset.ExtendedCmos (Index); }
  void    SetExtendedCmos (UINT8 Index, UINT8 Value) { mChipset.SetExtendedCmos (Index, Value); }
  UINT8   StandardCmos (UINT8 Index) const { return mChipset.StandardCmos (Index); }
  void    SetStandardCmos (UINT8 Index, UINT8 Value) { mChipset.SetStandardCmos (Index, Value); }
  VOID    PortWrite (UINT16 Port, UINT8 Value) { mChipset.PortWrite (Port, Value); }
  UINT8   PortRead (UINT16 Port) { return mChipset.PortRead (Port); }

  //
  // Running the driver.
  //
  ///
  /// Run one boot: load a fresh image of the driver, call its entry point, and
  /// play the script. A reset ends the boot where it happens.
  ///
  BootRecord               RunBoot (const BootScript &Script = BootScript ()) { return mRunner.RunBoot (Script); }

  ///
  /// Boot again and again until a boot completes or MaxBoots have run. Only
  /// non-volatile variables and the CMOS survive from one boot to the next.
  ///
  std::vector<BootRecord>  RunBoots (const BootScript &Script = BootScript (), unsigned MaxBoots = 4) { return mRunner.RunBoots (Script, MaxBoots); }

  ///
  /// Run Body as part of the current boot, with resets caught: the lowest
  /// level under RunBoot, for tests that drive the boot step by step.
  ///
  BootEnd                  RunUntilReset (const std::function<void ()> &Body) { return mRunner.RunUntilReset (Body); }

  ///
  /// Start a new boot: events, handles, volatile variables, named faults, the
  /// configuration table and the processor's TPL start afresh.
  ///
  void                     ResetPlatformState ();

  //
  // Trace.
  //
  const std::vector<TraceEntry> &Trace () const { return mTrace.Entries (); }
  size_t                   Count (const std::string &Op, size_t From = 0) const { return mTrace.Count (Op, From); }
  std::vector<TraceEntry>  Select (const std::string &Op, size_t From = 0) const { return mTrace.Select (Op, From); }
  void                     ClearTrace () { mTrace.Clear (); }
  void                     Record (const std::string &Op, const std::string &Detail, UINT64 A = 0, UINT64 B = 0, EFI_STATUS Status = EFI_SUCCESS) { mTrace.Record (Op, Detail, A, B, Status); }
  UINT64                   AllocationCalls () const { return mTables.AllocationCalls (); }
  std::string              FormatTrace (size_t From = 0, size_t To = SIZE_MAX) const { return mTrace.Format (From, To); }
  void                     SetTraceTsc (bool On) { mCpu.SetTraceTsc (On); }

private:
  TraceLog                      mTrace;
  FaultPlan                     mFaults;
  FirmwareTables                mTables;
  EventEngine                   mEvents;
  ProtocolDatabase              mProtocols;
  VariableStore                 mVariables;
  Processor                     mCpu;
  BootRunner                    mRunner;
  Chipset                       mChipset;
  std::unique_ptr<EmulatedBmc>  mBmc;
  std::unique_ptr<DriverImage>  mImage;     ///< the driver as loaded by the current boot
  EFI_HANDLE                    mImageHandle;
  std::vector<UINT64>           mHobList;   ///< 8-byte aligned storage
  size_t                        mHobListSize = 0;
};

}

#endif
