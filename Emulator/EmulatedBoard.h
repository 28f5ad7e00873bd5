/** @file
  An emulated x86-64 server board with a small DXE firmware, for running the
  driver on the host.

  The board supplies what a DXE driver expects of real firmware: a system table
  with boot and runtime services of real semantics (events, event groups,
  protocol notifications, a handle database, a variable store), a
  configuration table with a HOB list, the processor's MSRs and time-stamp
  counter, and a chipset with I/O ports (the reset control register and the
  CMOS banks). It records everything a driver does in a trace.

  One board is active at a time: the one most recently constructed.
**/

#ifndef EMULATED_BOARD_H_
#define EMULATED_BOARD_H_

#include <Uefi.h>
#include <Pi/PiHob.h>

#include <array>
#include <csetjmp>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Emu {

using Bytes = std::vector<UINT8>;

std::string StatusName (EFI_STATUS Status);
std::string GuidName (const EFI_GUID &Guid);
bool        GuidEqual (const EFI_GUID &Left, const EFI_GUID &Right);

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

///
/// Builds a HOB list the way earlier boot phases leave one: a sequence of
/// HOBs, each 8-byte aligned, closed by an end-of-list HOB.
///
class HobListBuilder {
public:
  HobListBuilder &AddGuidHob (const EFI_GUID &Name, const Bytes &Data);
  HobListBuilder &AddHob (UINT16 Type, UINT16 Length);      ///< a HOB of another type, zero-filled
  HobListBuilder &AddRaw (const Bytes &Raw);                ///< raw bytes, for malformed lists
  HobListBuilder &End ();
  const Bytes    &Data () const { return mData; }

private:
  Bytes  mData;
};

///
/// One variable of the store.
///
struct Variable {
  UINT32  Attributes = 0;
  Bytes   Data;
};

///
/// Why a boot ended.
///
enum class BootEnd {
  Completed,           ///< the boot script ran to its end (the OS would start)
  ResetByPortCf9,      ///< the reset control register was written with a reset request
  ResetSystem,         ///< ResetSystem was called
};

std::string BootEndName (BootEnd End);

///
/// What the firmware does around the driver in one boot.
///
struct BootScript {
  bool                                InstallIpmiTransport = true;    ///< after the driver's entry point
  bool                                InstallTriggerProtocol = false;  ///< after the IPMI transport
  bool                                SignalReadyToBoot = true;       ///< last
  std::function<void ()>              BeforeEntry;                    ///< platform work before the driver loads
  std::function<void ()>              AfterHooks;                     ///< platform work before ready-to-boot
};

struct BootRecord {
  unsigned     Number = 0;        ///< 1 for the first boot
  BootEnd      End = BootEnd::Completed;
  UINT8        ResetValue = 0;    ///< the value written to 0xCF9
  EFI_STATUS   EntryStatus = EFI_SUCCESS;
  size_t       TraceBegin = 0;    ///< this boot's entries in Trace ()
  size_t       TraceEnd = 0;
};

class EmulatedBmc;
class DriverImage;

class EmulatedBoard {
public:
  EmulatedBoard ();
  ~EmulatedBoard ();
  EmulatedBoard (const EmulatedBoard &) = delete;
  EmulatedBoard &operator= (const EmulatedBoard &) = delete;

  static EmulatedBoard *Active ();

  //
  // Firmware tables.
  //
  EFI_SYSTEM_TABLE *SystemTable () { return &mSystemTable; }
  EFI_HANDLE        ImageHandle () { return mImageHandle; }
  void              SetRevision (UINT32 Revision);
  void              AddConfigurationTable (const EFI_GUID &Guid, VOID *Table);

  ///
  /// The HOB list the earlier phases leave; installed in the configuration
  /// table at the start of every boot.
  ///
  void              SetHobList (const HobListBuilder &Builder);
  void              SetHobListBytes (const Bytes &Raw);
  const UINT8      *HobList () const { return mHobList.empty () ? nullptr : reinterpret_cast<const UINT8 *>(mHobList.data ()); }
  size_t            HobListSize () const { return mHobListSize; }

  //
  // Boot services as the platform uses them (at TPL_APPLICATION).
  //
  EFI_STATUS  InstallProtocol (const EFI_GUID &Guid, VOID *Interface, EFI_HANDLE *Handle = nullptr);
  VOID       *FindProtocol (const EFI_GUID &Guid) const;
  size_t      ProtocolCount (const EFI_GUID &Guid) const;
  void        SignalReadyToBoot ();
  size_t      LiveEventCount () const;

  ///
  /// Make the next call of a service ("CreateEvent", "CreateEventEx",
  /// "RegisterProtocolNotify", "CloseEvent", "LocateProtocol",
  /// "InstallProtocolInterface", "GetVariable", "SetVariable") return Status;
  /// "GetVariable:Name" and "SetVariable:Name" apply to one variable only,
  /// "LocateProtocol:GUID" and "InstallProtocolInterface:GUID" to one protocol.
  /// An error status changes nothing; a warning lets the call do its work and
  /// then returns the warning.
  ///
  void        FailNext (const std::string &Service, EFI_STATUS Status);

  //
  // Variable store.
  //
  void            PutVariable (const std::u16string &Name, const EFI_GUID &Guid, UINT32 Attributes, const Bytes &Data);
  const Variable *FindVariable (const std::u16string &Name, const EFI_GUID &Guid) const;
  void            DeleteVariable (const std::u16string &Name, const EFI_GUID &Guid);

  //
  // Processor.
  //
  void    SetMsr (UINT32 Index, UINT64 Value) { mMsrs[Index] = Value; }
  void    SetTsc (UINT64 Value) { mTsc = Value; }
  void    SetTscStep (UINT64 Step) { mTscStep = Step; }
  UINT64  Tsc () const { return mTsc; }
  UINT64  PauseCount () const { return mPauseCount; }
  UINT64  TscReadCount () const { return mTscReads; }

  //
  // Chipset.
  //
  UINT8   ExtendedCmos (UINT8 Index) const { return mExtendedCmos[Index & 0x7F]; }
  void    SetExtendedCmos (UINT8 Index, UINT8 Value) { mExtendedCmos[Index & 0x7F] = Value; }
  UINT8   StandardCmos (UINT8 Index) const { return mStandardCmos[Index & 0x7F]; }
  void    SetStandardCmos (UINT8 Index, UINT8 Value) { mStandardCmos[Index & 0x7F] = Value; }

  //
  // The BMC behind the IPMI transport the board installs.
  //
  EmulatedBmc &Bmc () { return *mBmc; }

  ///
  /// The driver image the current boot loaded; it stays loaded until the next
  /// boot starts.
  ///
  DriverImage &Image () { return *mImage; }

  //
  // Running the driver.
  //
  ///
  /// Run one boot: load a fresh image of the driver, call its entry point, and
  /// play the script. A reset ends the boot where it happens.
  ///
  BootRecord                RunBoot (const BootScript &Script = BootScript ());

  ///
  /// Boot again and again until a boot completes or MaxBoots have run. Only
  /// non-volatile variables and the CMOS survive from one boot to the next.
  ///
  std::vector<BootRecord>   RunBoots (const BootScript &Script = BootScript (), unsigned MaxBoots = 4);

  ///
  /// Run Body as part of the current boot, with resets caught: the lowest
  /// level under RunBoot, for tests that drive the boot step by step.
  ///
  BootEnd                   RunUntilReset (const std::function<void ()> &Body);

  ///
  /// Start a new boot: events, handles, volatile variables, the configuration
  /// table and the processor's TPL start afresh.
  ///
  void                      ResetPlatformState ();

  //
  // Trace.
  //
  const std::vector<TraceEntry> &Trace () const { return mTrace; }
  size_t                    Count (const std::string &Op, size_t From = 0) const;
  std::vector<TraceEntry>   Select (const std::string &Op, size_t From = 0) const;
  void                      ClearTrace () { mTrace.clear (); }
  void                      Record (const std::string &Op, const std::string &Detail, UINT64 A = 0, UINT64 B = 0, EFI_STATUS Status = EFI_SUCCESS);
  UINT64                    AllocationCalls () const { return mAllocationCalls; }
  std::string               FormatTrace (size_t From = 0, size_t To = SIZE_MAX) const;
  void                      SetTraceTsc (bool On) { mTraceTsc = On; }

  //
  // Called by the service and CPU shims.
  //
  struct Event;
  struct Handle;
  struct Registration;

  EFI_STATUS  DoCreateEvent (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, const VOID *Context, const EFI_GUID *Group, EFI_EVENT *Out, const char *Service);
  EFI_STATUS  DoCloseEvent (EFI_EVENT Event);
  EFI_STATUS  DoSignalEvent (EFI_EVENT Event);
  EFI_STATUS  DoRegisterProtocolNotify (EFI_GUID *Protocol, EFI_EVENT Event, VOID **Registration);
  EFI_STATUS  DoInstallProtocolInterface (EFI_HANDLE *Handle, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface);
  EFI_STATUS  DoLocateProtocol (EFI_GUID *Protocol, VOID *Registration, VOID **Interface);
  EFI_STATUS  DoHandleProtocol (EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface);
  EFI_STATUS  DoInstallConfigurationTable (EFI_GUID *Guid, VOID *Table);
  EFI_STATUS  DoGetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 *Attributes, UINTN *DataSize, VOID *Data);
  EFI_STATUS  DoSetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 Attributes, UINTN DataSize, const VOID *Data);
  EFI_TPL     DoRaiseTpl (EFI_TPL NewTpl);
  VOID        DoRestoreTpl (EFI_TPL OldTpl);
  VOID        DoResetSystem (EFI_RESET_TYPE Type, EFI_STATUS Status);
  VOID        CountAllocation (const char *Service, UINT64 Size);

  VOID        PortWrite (UINT16 Port, UINT8 Value);
  UINT8       PortRead (UINT16 Port);
  UINT64      ReadMsr (UINT32 Index);
  UINT64      ReadTsc ();
  VOID        Pause () { mPauseCount++; }

  EFI_TPL     CurrentTpl () const { return mTpl; }

private:
  bool        TakeFault (const char *Service, EFI_STATUS *Status);
  EFI_STATUS  InstallOnHandle (EFI_HANDLE *Handle, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface);
  Event      *FindEvent (EFI_EVENT Event) const;
  void        MarkPending (Event *Ev);
  void        DispatchPending ();
  [[noreturn]] void EndBootByReset (BootEnd Why, UINT8 Value);
  void        InstallIpmiTransport ();

  EFI_SYSTEM_TABLE                       mSystemTable {};
  EFI_BOOT_SERVICES                      mBootServices {};
  EFI_RUNTIME_SERVICES                   mRuntimeServices {};
  std::vector<EFI_CONFIGURATION_TABLE>   mConfigTables;
  std::vector<UINT64>                    mHobList;         ///< 8-byte aligned storage
  size_t                                 mHobListSize = 0;
  EFI_HANDLE                             mImageHandle;

  std::vector<std::unique_ptr<Event>>         mEvents;
  std::vector<Event *>                        mPending;
  std::vector<std::unique_ptr<Handle>>        mHandles;
  std::vector<std::unique_ptr<Registration>>  mRegistrations;
  EFI_TPL                                     mTpl = TPL_APPLICATION;

  std::map<std::pair<std::u16string, std::string>, Variable>  mVariables;
  std::map<std::string, EFI_STATUS>                            mFaults;

  std::map<UINT32, UINT64>   mMsrs;
  UINT64                     mTsc = 0x1000;
  UINT64                     mTscStep = 1000000;
  UINT64                     mTscReads = 0;
  UINT64                     mPauseCount = 0;
  bool                       mTraceTsc = false;

  std::array<UINT8, 128>     mStandardCmos {};
  std::array<UINT8, 128>     mExtendedCmos {};
  UINT8                      mStandardIndex = 0;
  UINT8                      mExtendedIndex = 0;
  UINT8                      mResetControl = 0;

  std::unique_ptr<EmulatedBmc>  mBmc;
  std::unique_ptr<DriverImage>  mImage;     ///< the driver as loaded by the current boot

  std::vector<TraceEntry>    mTrace;
  UINT64                     mAllocationCalls = 0;

  std::jmp_buf              *mResetJump = nullptr;
  BootEnd                    mResetWhy = BootEnd::Completed;
  UINT8                      mResetValue = 0;
  unsigned                   mBootNumber = 0;
};

}

#endif
