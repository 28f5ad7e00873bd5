/** @file
  The emulated board: firmware services, variable store, processor, chipset,
  trace and the boot runner.
**/

#include "EmulatedBoard.h"
#include "EmulatedBmc.h"
#include "DriverImage.h"
#include "EmuCpu.h"

#include <Guid/EventGroup.h>
#include <Guid/HobList.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Emu {

namespace {

EmulatedBoard  *gActiveBoard = nullptr;

EmulatedBoard &
Board ()
{
  return *gActiveBoard;
}

std::string
Hex (UINT64 Value, int Width = 0)
{
  char  Text[32];

  std::snprintf (Text, sizeof (Text), "0x%0*llX", Width, static_cast<unsigned long long>(Value));
  return Text;
}

std::string
Narrow (const CHAR16 *Name)
{
  std::string  Text;

  for ( ; Name != nullptr && *Name != 0; Name++) {
    Text.push_back ((*Name < 0x80) ? static_cast<char>(*Name) : '?');
  }

  return Text;
}

std::string
GuidKey (const EFI_GUID &Guid)
{
  return std::string (reinterpret_cast<const char *>(&Guid), sizeof (Guid));
}

//
// Every boot service slot the board does not implement answers EFI_UNSUPPORTED
// and leaves a trace entry, with the slot's own signature.
//
template <typename FN, const char *Name>
struct Unsupported;

template <typename R, typename... ARGS, const char *Name>
struct Unsupported<R (EFIAPI *)(ARGS...), Name> {
  static R EFIAPI
  Call (ARGS...)
  {
    Board ().Record (Name, "not provided by the emulated board", 0, 0, EFI_UNSUPPORTED);
    if constexpr (!std::is_void_v<R>) {
      return static_cast<R>(EFI_UNSUPPORTED);
    }
  }
};

template <typename... ARGS, const char *Name>
struct Unsupported<EFI_STATUS (EFIAPI *)(ARGS..., ...), Name> {
  static EFI_STATUS EFIAPI
  Call (ARGS..., ...)
  {
    Board ().Record (Name, "not provided by the emulated board", 0, 0, EFI_UNSUPPORTED);
    return EFI_UNSUPPORTED;
  }
};

#define UNSUPPORTED_SLOT(Table, Slot)                                             \
  do {                                                                             \
    static constexpr char  SlotName##Slot[] = #Slot;                               \
    (Table).Slot = Unsupported<decltype ((Table).Slot), SlotName##Slot>::Call;     \
  } while (0)

//
// Boot services.
//
EFI_TPL EFIAPI
BsRaiseTpl (EFI_TPL NewTpl)
{
  return Board ().DoRaiseTpl (NewTpl);
}

VOID EFIAPI
BsRestoreTpl (EFI_TPL OldTpl)
{
  Board ().DoRestoreTpl (OldTpl);
}

EFI_STATUS EFIAPI
BsAllocatePages (EFI_ALLOCATE_TYPE, EFI_MEMORY_TYPE, UINTN Pages, EFI_PHYSICAL_ADDRESS *)
{
  Board ().CountAllocation ("AllocatePages", Pages);
  return EFI_OUT_OF_RESOURCES;
}

EFI_STATUS EFIAPI
BsFreePages (EFI_PHYSICAL_ADDRESS, UINTN Pages)
{
  Board ().CountAllocation ("FreePages", Pages);
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI
BsAllocatePool (EFI_MEMORY_TYPE, UINTN Size, VOID **)
{
  Board ().CountAllocation ("AllocatePool", Size);
  return EFI_OUT_OF_RESOURCES;
}

EFI_STATUS EFIAPI
BsFreePool (VOID *)
{
  Board ().CountAllocation ("FreePool", 0);
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI
BsCreateEvent (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context, EFI_EVENT *Event)
{
  return Board ().DoCreateEvent (Type, Tpl, Notify, Context, nullptr, Event, "CreateEvent");
}

EFI_STATUS EFIAPI
BsCreateEventEx (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, const VOID *Context, const EFI_GUID *Group, EFI_EVENT *Event)
{
  return Board ().DoCreateEvent (Type, Tpl, Notify, Context, Group, Event, "CreateEventEx");
}

EFI_STATUS EFIAPI
BsSignalEvent (EFI_EVENT Event)
{
  return Board ().DoSignalEvent (Event);
}

EFI_STATUS EFIAPI
BsCloseEvent (EFI_EVENT Event)
{
  return Board ().DoCloseEvent (Event);
}

EFI_STATUS EFIAPI
BsInstallProtocolInterface (EFI_HANDLE *Handle, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface)
{
  return Board ().DoInstallProtocolInterface (Handle, Protocol, Type, Interface);
}

EFI_STATUS EFIAPI
BsHandleProtocol (EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface)
{
  return Board ().DoHandleProtocol (Handle, Protocol, Interface);
}

EFI_STATUS EFIAPI
BsRegisterProtocolNotify (EFI_GUID *Protocol, EFI_EVENT Event, VOID **Registration)
{
  return Board ().DoRegisterProtocolNotify (Protocol, Event, Registration);
}

EFI_STATUS EFIAPI
BsInstallConfigurationTable (EFI_GUID *Guid, VOID *Table)
{
  return Board ().DoInstallConfigurationTable (Guid, Table);
}

EFI_STATUS EFIAPI
BsLocateProtocol (EFI_GUID *Protocol, VOID *Registration, VOID **Interface)
{
  return Board ().DoLocateProtocol (Protocol, Registration, Interface);
}

//
// Runtime services.
//
EFI_STATUS EFIAPI
RtGetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 *Attributes, UINTN *DataSize, VOID *Data)
{
  return Board ().DoGetVariable (Name, Guid, Attributes, DataSize, Data);
}

EFI_STATUS EFIAPI
RtSetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 Attributes, UINTN DataSize, const VOID *Data)
{
  return Board ().DoSetVariable (Name, Guid, Attributes, DataSize, Data);
}

VOID EFIAPI
RtResetSystem (EFI_RESET_TYPE Type, EFI_STATUS Status, UINTN, VOID *)
{
  Board ().DoResetSystem (Type, Status);
}

}  // namespace

struct EmulatedBoard::Event {
  UINT32            Type = 0;
  EFI_TPL           Tpl = 0;
  EFI_EVENT_NOTIFY  Notify = nullptr;
  const VOID       *Context = nullptr;
  bool              HasGroup = false;
  EFI_GUID          Group {};
  bool              Closed = false;
  bool              Pending = false;
  bool              Signaled = false;
  unsigned          Id = 0;
};

struct EmulatedBoard::Handle {
  std::vector<std::pair<EFI_GUID, VOID *>>  Protocols;
};

struct EmulatedBoard::Registration {
  EFI_GUID  Protocol {};
  Event     *Target = nullptr;
};

bool
GuidEqual (const EFI_GUID &Left, const EFI_GUID &Right)
{
  return std::memcmp (&Left, &Right, sizeof (EFI_GUID)) == 0;
}

std::string
GuidName (const EFI_GUID &Guid)
{
  char  Text[48];

  std::snprintf (
    Text, sizeof (Text), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
    Guid.Data1, Guid.Data2, Guid.Data3, Guid.Data4[0], Guid.Data4[1], Guid.Data4[2],
    Guid.Data4[3], Guid.Data4[4], Guid.Data4[5], Guid.Data4[6], Guid.Data4[7]
    );
  return Text;
}

std::string
StatusName (EFI_STATUS Status)
{
  static const char *const  Errors[] = {
    "EFI_SUCCESS", "EFI_LOAD_ERROR", "EFI_INVALID_PARAMETER", "EFI_UNSUPPORTED", "EFI_BAD_BUFFER_SIZE",
    "EFI_BUFFER_TOO_SMALL", "EFI_NOT_READY", "EFI_DEVICE_ERROR", "EFI_WRITE_PROTECTED", "EFI_OUT_OF_RESOURCES",
    "EFI_VOLUME_CORRUPTED", "EFI_VOLUME_FULL", "EFI_NO_MEDIA", "EFI_MEDIA_CHANGED", "EFI_NOT_FOUND",
    "EFI_ACCESS_DENIED", "EFI_NO_RESPONSE", "EFI_NO_MAPPING", "EFI_TIMEOUT", "EFI_NOT_STARTED",
    "EFI_ALREADY_STARTED", "EFI_ABORTED"
  };
  static const char *const  Warnings[] = {
    "EFI_SUCCESS", "EFI_WARN_UNKNOWN_GLYPH", "EFI_WARN_DELETE_FAILURE", "EFI_WARN_WRITE_FAILURE",
    "EFI_WARN_BUFFER_TOO_SMALL", "EFI_WARN_STALE_DATA"
  };
  UINT64  Code = Status & ~MAX_BIT;

  if (EFI_ERROR (Status) && (Code < sizeof (Errors) / sizeof (Errors[0]))) {
    return Errors[Code];
  }

  if (!EFI_ERROR (Status) && (Code < sizeof (Warnings) / sizeof (Warnings[0]))) {
    return Warnings[Code];
  }

  return Hex (Status);
}

std::string
BootEndName (BootEnd End)
{
  switch (End) {
    case BootEnd::Completed:      return "booted on to the OS loader";
    case BootEnd::ResetByPortCf9: return "reset through port 0xCF9";
    case BootEnd::ResetSystem:    return "reset through ResetSystem";
  }

  return "?";
}

//
// HOB list builder.
//
HobListBuilder &
HobListBuilder::AddGuidHob (const EFI_GUID &Name, const Bytes &Data)
{
  size_t  Length = (sizeof (EFI_HOB_GUID_TYPE) + Data.size () + 7) & ~static_cast<size_t>(7);
  size_t  Start  = mData.size ();

  mData.resize (Start + Length, 0);
  EFI_HOB_GUID_TYPE  Hob {};
  Hob.Header.HobType   = EFI_HOB_TYPE_GUID_EXTENSION;
  Hob.Header.HobLength = static_cast<UINT16>(Length);
  Hob.Name             = Name;
  std::memcpy (&mData[Start], &Hob, sizeof (Hob));
  std::copy (Data.begin (), Data.end (), mData.begin () + static_cast<std::ptrdiff_t>(Start + sizeof (Hob)));
  return *this;
}

HobListBuilder &
HobListBuilder::AddHob (UINT16 Type, UINT16 Length)
{
  size_t  Start = mData.size ();

  mData.resize (Start + Length, 0);
  EFI_HOB_GENERIC_HEADER  Header { Type, Length, 0 };
  std::memcpy (&mData[Start], &Header, std::min<size_t>(sizeof (Header), Length));
  return *this;
}

HobListBuilder &
HobListBuilder::AddRaw (const Bytes &Raw)
{
  mData.insert (mData.end (), Raw.begin (), Raw.end ());
  return *this;
}

HobListBuilder &
HobListBuilder::End ()
{
  return AddHob (EFI_HOB_TYPE_END_OF_HOB_LIST, sizeof (EFI_HOB_GENERIC_HEADER));
}

//
// The board.
//
EmulatedBoard::EmulatedBoard ()
  : mImageHandle (reinterpret_cast<EFI_HANDLE>(static_cast<uintptr_t>(0x1A6E0000)))
{
  gActiveBoard = this;

  mBootServices.Hdr.Signature  = EFI_BOOT_SERVICES_SIGNATURE;
  mBootServices.Hdr.Revision   = EFI_2_70_SYSTEM_TABLE_REVISION;
  mBootServices.Hdr.HeaderSize = sizeof (EFI_BOOT_SERVICES);

  mBootServices.RaiseTPL      = BsRaiseTpl;
  mBootServices.RestoreTPL    = BsRestoreTpl;
  mBootServices.AllocatePages = BsAllocatePages;
  mBootServices.FreePages     = BsFreePages;
  UNSUPPORTED_SLOT (mBootServices, GetMemoryMap);
  mBootServices.AllocatePool  = BsAllocatePool;
  mBootServices.FreePool      = BsFreePool;
  mBootServices.CreateEvent   = BsCreateEvent;
  UNSUPPORTED_SLOT (mBootServices, SetTimer);
  UNSUPPORTED_SLOT (mBootServices, WaitForEvent);
  mBootServices.SignalEvent   = BsSignalEvent;
  mBootServices.CloseEvent    = BsCloseEvent;
  UNSUPPORTED_SLOT (mBootServices, CheckEvent);
  mBootServices.InstallProtocolInterface = BsInstallProtocolInterface;
  UNSUPPORTED_SLOT (mBootServices, ReinstallProtocolInterface);
  UNSUPPORTED_SLOT (mBootServices, UninstallProtocolInterface);
  mBootServices.HandleProtocol = BsHandleProtocol;
  mBootServices.Reserved       = nullptr;
  mBootServices.RegisterProtocolNotify = BsRegisterProtocolNotify;
  UNSUPPORTED_SLOT (mBootServices, LocateHandle);
  UNSUPPORTED_SLOT (mBootServices, LocateDevicePath);
  mBootServices.InstallConfigurationTable = BsInstallConfigurationTable;
  UNSUPPORTED_SLOT (mBootServices, LoadImage);
  UNSUPPORTED_SLOT (mBootServices, StartImage);
  UNSUPPORTED_SLOT (mBootServices, Exit);
  UNSUPPORTED_SLOT (mBootServices, UnloadImage);
  UNSUPPORTED_SLOT (mBootServices, ExitBootServices);
  UNSUPPORTED_SLOT (mBootServices, GetNextMonotonicCount);
  UNSUPPORTED_SLOT (mBootServices, Stall);
  UNSUPPORTED_SLOT (mBootServices, SetWatchdogTimer);
  UNSUPPORTED_SLOT (mBootServices, ConnectController);
  UNSUPPORTED_SLOT (mBootServices, DisconnectController);
  UNSUPPORTED_SLOT (mBootServices, OpenProtocol);
  UNSUPPORTED_SLOT (mBootServices, CloseProtocol);
  UNSUPPORTED_SLOT (mBootServices, OpenProtocolInformation);
  UNSUPPORTED_SLOT (mBootServices, ProtocolsPerHandle);
  UNSUPPORTED_SLOT (mBootServices, LocateHandleBuffer);
  mBootServices.LocateProtocol = BsLocateProtocol;
  UNSUPPORTED_SLOT (mBootServices, InstallMultipleProtocolInterfaces);
  UNSUPPORTED_SLOT (mBootServices, UninstallMultipleProtocolInterfaces);
  UNSUPPORTED_SLOT (mBootServices, CalculateCrc32);
  UNSUPPORTED_SLOT (mBootServices, CopyMem);
  UNSUPPORTED_SLOT (mBootServices, SetMem);
  mBootServices.CreateEventEx = BsCreateEventEx;

  mRuntimeServices.Hdr.Signature  = EFI_RUNTIME_SERVICES_SIGNATURE;
  mRuntimeServices.Hdr.Revision   = EFI_2_70_SYSTEM_TABLE_REVISION;
  mRuntimeServices.Hdr.HeaderSize = sizeof (EFI_RUNTIME_SERVICES);
  UNSUPPORTED_SLOT (mRuntimeServices, GetTime);
  UNSUPPORTED_SLOT (mRuntimeServices, SetTime);
  UNSUPPORTED_SLOT (mRuntimeServices, GetWakeupTime);
  UNSUPPORTED_SLOT (mRuntimeServices, SetWakeupTime);
  UNSUPPORTED_SLOT (mRuntimeServices, SetVirtualAddressMap);
  UNSUPPORTED_SLOT (mRuntimeServices, ConvertPointer);
  mRuntimeServices.GetVariable = RtGetVariable;
  UNSUPPORTED_SLOT (mRuntimeServices, GetNextVariableName);
  mRuntimeServices.SetVariable = RtSetVariable;
  UNSUPPORTED_SLOT (mRuntimeServices, GetNextHighMonotonicCount);
  mRuntimeServices.ResetSystem = RtResetSystem;
  UNSUPPORTED_SLOT (mRuntimeServices, UpdateCapsule);
  UNSUPPORTED_SLOT (mRuntimeServices, QueryCapsuleCapabilities);
  UNSUPPORTED_SLOT (mRuntimeServices, QueryVariableInfo);

  mSystemTable.Hdr.Signature  = EFI_SYSTEM_TABLE_SIGNATURE;
  mSystemTable.Hdr.Revision   = EFI_2_70_SYSTEM_TABLE_REVISION;
  mSystemTable.Hdr.HeaderSize = sizeof (EFI_SYSTEM_TABLE);
  mSystemTable.BootServices    = &mBootServices;
  mSystemTable.RuntimeServices = &mRuntimeServices;

  mBmc   = std::make_unique<EmulatedBmc>(*this);
  mImage = std::make_unique<DriverImage>();
  ResetPlatformState ();
}

EmulatedBoard::~EmulatedBoard ()
{
  mImage.reset ();
  if (gActiveBoard == this) {
    gActiveBoard = nullptr;
  }
}

EmulatedBoard *
EmulatedBoard::Active ()
{
  return gActiveBoard;
}

void
EmulatedBoard::SetRevision (UINT32 Revision)
{
  mSystemTable.Hdr.Revision = Revision;
}

void
EmulatedBoard::AddConfigurationTable (const EFI_GUID &Guid, VOID *Table)
{
  mConfigTables.push_back ({ Guid, Table });
  mSystemTable.ConfigurationTable   = mConfigTables.data ();
  mSystemTable.NumberOfTableEntries = mConfigTables.size ();
}

void
EmulatedBoard::SetHobListBytes (const Bytes &Raw)
{
  mHobList.assign ((Raw.size () + 7) / 8, 0);
  if (!Raw.empty ()) {
    std::memcpy (mHobList.data (), Raw.data (), Raw.size ());
  }
  mHobListSize = Raw.size ();
  ResetPlatformState ();
}

void
EmulatedBoard::SetHobList (const HobListBuilder &Builder)
{
  SetHobListBytes (Builder.Data ());
}

void
EmulatedBoard::ResetPlatformState ()
{
  mEvents.clear ();
  mPending.clear ();
  mHandles.clear ();
  mRegistrations.clear ();
  mFaults.clear ();
  mTpl = TPL_APPLICATION;
  mResetControl = 0;

  for (auto It = mVariables.begin (); It != mVariables.end (); ) {
    It = ((It->second.Attributes & EFI_VARIABLE_NON_VOLATILE) == 0) ? mVariables.erase (It) : std::next (It);
  }

  mConfigTables.clear ();
  mSystemTable.ConfigurationTable   = nullptr;
  mSystemTable.NumberOfTableEntries = 0;
  if (!mHobList.empty ()) {
    AddConfigurationTable (gEfiHobListGuid, mHobList.data ());
  }
}

void
EmulatedBoard::Record (const std::string &Op, const std::string &Detail, UINT64 A, UINT64 B, EFI_STATUS Status)
{
  mTrace.push_back ({ Op, Detail, A, B, Status });
}

size_t
EmulatedBoard::Count (const std::string &Op, size_t From) const
{
  return static_cast<size_t>(std::count_if (mTrace.begin () + static_cast<std::ptrdiff_t>(std::min (From, mTrace.size ())), mTrace.end (), [&](const TraceEntry &E) { return E.Op == Op; }));
}

std::vector<TraceEntry>
EmulatedBoard::Select (const std::string &Op, size_t From) const
{
  std::vector<TraceEntry>  Out;

  for (size_t Index = From; Index < mTrace.size (); Index++) {
    if (mTrace[Index].Op == Op) {
      Out.push_back (mTrace[Index]);
    }
  }

  return Out;
}

std::string
EmulatedBoard::FormatTrace (size_t From, size_t To) const
{
  std::string  Text;

  To = std::min (To, mTrace.size ());
  for (size_t Index = From; Index < To; Index++) {
    const TraceEntry  &E = mTrace[Index];
    Text += "  " + E.Op;
    if (!E.Detail.empty ()) {
      Text += " " + E.Detail;
    }

    Text += "\n";
  }

  return Text;
}

void
EmulatedBoard::FailNext (const std::string &Service, EFI_STATUS Status)
{
  mFaults[Service] = Status;
}

bool
EmulatedBoard::TakeFault (const char *Service, EFI_STATUS *Status)
{
  auto  It = mFaults.find (Service);

  if (It == mFaults.end ()) {
    return false;
  }

  *Status = It->second;
  mFaults.erase (It);
  return true;
}

void
EmulatedBoard::CountAllocation (const char *Service, UINT64 Size)
{
  mAllocationCalls++;
  Record (Service, "size=" + std::to_string (Size), Size, 0, EFI_OUT_OF_RESOURCES);
}

//
// Events and TPL.
//
EmulatedBoard::Event *
EmulatedBoard::FindEvent (EFI_EVENT Handle) const
{
  for (const auto &Ev : mEvents) {
    if (Ev.get () == Handle) {
      return Ev.get ();
    }
  }

  return nullptr;
}

EFI_STATUS
EmulatedBoard::DoCreateEvent (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, const VOID *Context, const EFI_GUID *Group, EFI_EVENT *Out, const char *Service)
{
  EFI_STATUS   Status = EFI_SUCCESS;
  std::string  Detail = "type=" + Hex (Type) + " tpl=" + std::to_string (Tpl) + (Context == nullptr ? " context=NULL" : " context=set") +
                        (Group != nullptr ? " group=" + GuidName (*Group) : "");

  if (TakeFault (Service, &Status) && EFI_ERROR (Status)) {
    Record (Service, Detail + " -> " + StatusName (Status), Tpl, Type, Status);
    return Status;
  }

  if ((Out == nullptr) ||
      (((Type & (EVT_NOTIFY_SIGNAL | EVT_NOTIFY_WAIT)) != 0) &&
       ((Notify == nullptr) || (Tpl <= TPL_APPLICATION) || (Tpl > TPL_HIGH_LEVEL))))
  {
    Record (Service, Detail + " -> EFI_INVALID_PARAMETER", Tpl, Type, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  auto  Ev = std::make_unique<Event>();
  Ev->Type     = Type;
  Ev->Tpl      = Tpl;
  Ev->Notify   = Notify;
  Ev->Context  = Context;
  Ev->HasGroup = (Group != nullptr);
  Ev->Group    = (Group != nullptr) ? *Group : EFI_GUID {};
  Ev->Id       = static_cast<unsigned>(mEvents.size () + 1);
  *Out         = Ev.get ();
  Record (Service, Detail + " -> event#" + std::to_string (Ev->Id) + " " + StatusName (Status), Tpl, Type, Status);
  mEvents.push_back (std::move (Ev));
  return Status;
}

EFI_STATUS
EmulatedBoard::DoCloseEvent (EFI_EVENT Handle)
{
  EFI_STATUS  Status = EFI_SUCCESS;
  Event       *Ev    = FindEvent (Handle);

  if (TakeFault ("CloseEvent", &Status) && EFI_ERROR (Status)) {
    Record ("CloseEvent", "-> " + StatusName (Status), 0, 0, Status);
    return Status;
  }

  if ((Ev == nullptr) || Ev->Closed) {
    Record ("CloseEvent", "unknown event -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  Ev->Closed = true;
  mPending.erase (std::remove (mPending.begin (), mPending.end (), Ev), mPending.end ());
  mRegistrations.erase (
    std::remove_if (mRegistrations.begin (), mRegistrations.end (), [Ev](const std::unique_ptr<Registration> &R) { return R->Target == Ev; }),
    mRegistrations.end ()
    );
  Record ("CloseEvent", "event#" + std::to_string (Ev->Id), Ev->Id, 0, Status);
  return Status;
}

void
EmulatedBoard::MarkPending (Event *Ev)
{
  if (Ev->Closed) {
    return;
  }

  if ((Ev->Type & EVT_NOTIFY_SIGNAL) == 0) {
    Ev->Signaled = true;
    return;
  }

  if (!Ev->Pending) {
    Ev->Pending = true;
    mPending.push_back (Ev);
  }
}

void
EmulatedBoard::DispatchPending ()
{
  //
  // Run the pending notify functions above the current TPL, highest TPL
  // first, in signal order within a TPL. A notify function may signal more
  // events; they join the queue. No iterator or object with a destructor is
  // held across the call, so a reset may end the boot inside it.
  //
  for (;;) {
    size_t  Best = mPending.size ();
    for (size_t Index = 0; Index < mPending.size (); Index++) {
      if ((mPending[Index]->Tpl > mTpl) && ((Best == mPending.size ()) || (mPending[Index]->Tpl > mPending[Best]->Tpl))) {
        Best = Index;
      }
    }

    if (Best == mPending.size ()) {
      return;
    }

    Event  *Ev = mPending[Best];
    mPending.erase (mPending.begin () + static_cast<std::ptrdiff_t>(Best));
    Ev->Pending = false;

    EFI_TPL  Saved = mTpl;
    mTpl = Ev->Tpl;
    Record ("Notify", "event#" + std::to_string (Ev->Id) + " at tpl " + std::to_string (Ev->Tpl), Ev->Id, Ev->Tpl);
    Ev->Notify (Ev, const_cast<VOID *>(Ev->Context));
    mTpl = Saved;
  }
}

EFI_STATUS
EmulatedBoard::DoSignalEvent (EFI_EVENT Handle)
{
  Event  *Ev = FindEvent (Handle);

  if ((Ev == nullptr) || Ev->Closed) {
    Record ("SignalEvent", "unknown event -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  Record ("SignalEvent", "event#" + std::to_string (Ev->Id), Ev->Id);
  if (Ev->HasGroup) {
    EFI_GUID  Group = Ev->Group;
    for (const auto &Member : mEvents) {
      if (Member->HasGroup && GuidEqual (Member->Group, Group)) {
        MarkPending (Member.get ());
      }
    }
  } else {
    MarkPending (Ev);
  }

  DispatchPending ();
  return EFI_SUCCESS;
}

EFI_TPL
EmulatedBoard::DoRaiseTpl (EFI_TPL NewTpl)
{
  EFI_TPL  Old = mTpl;

  mTpl = std::max (mTpl, NewTpl);
  return Old;
}

VOID
EmulatedBoard::DoRestoreTpl (EFI_TPL OldTpl)
{
  mTpl = OldTpl;
  DispatchPending ();
}

void
EmulatedBoard::SignalReadyToBoot ()
{
  Record ("SignalReadyToBoot", "group " + GuidName (gEfiEventReadyToBootGuid));
  for (const auto &Member : mEvents) {
    if (Member->HasGroup && GuidEqual (Member->Group, gEfiEventReadyToBootGuid)) {
      MarkPending (Member.get ());
    }
  }

  DispatchPending ();
}

size_t
EmulatedBoard::LiveEventCount () const
{
  return static_cast<size_t>(std::count_if (mEvents.begin (), mEvents.end (), [](const std::unique_ptr<Event> &E) { return !E->Closed; }));
}

//
// Protocols.
//
EFI_STATUS
EmulatedBoard::DoRegisterProtocolNotify (EFI_GUID *Protocol, EFI_EVENT Handle, VOID **Key)
{
  EFI_STATUS  Status = EFI_SUCCESS;
  Event       *Ev    = FindEvent (Handle);
  std::string Detail = (Protocol != nullptr) ? GuidName (*Protocol) : "NULL";

  if (TakeFault ("RegisterProtocolNotify", &Status) && EFI_ERROR (Status)) {
    Record ("RegisterProtocolNotify", Detail + " -> " + StatusName (Status), 0, 0, Status);
    return Status;
  }

  if ((Protocol == nullptr) || (Ev == nullptr) || Ev->Closed || (Key == nullptr)) {
    Record ("RegisterProtocolNotify", Detail + " -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  auto  Reg = std::make_unique<Registration>();
  Reg->Protocol = *Protocol;
  Reg->Target   = Ev;
  *Key          = Reg.get ();
  mRegistrations.push_back (std::move (Reg));
  Record ("RegisterProtocolNotify", Detail + " event#" + std::to_string (Ev->Id), Ev->Id, 0, Status);
  return Status;
}

EFI_STATUS
EmulatedBoard::DoInstallProtocolInterface (EFI_HANDLE *HandlePtr, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface)
{
  EFI_STATUS  Status = InstallOnHandle (HandlePtr, Protocol, Type, Interface);

  if (EFI_ERROR (Status)) {
    return Status;
  }

  //
  // Signal every event registered for this protocol, then run the notify
  // functions. Nothing with a destructor is alive here: a notify function may
  // reset the platform.
  //
  for (size_t Index = 0; Index < mRegistrations.size (); Index++) {
    if (GuidEqual (mRegistrations[Index]->Protocol, *Protocol)) {
      MarkPending (mRegistrations[Index]->Target);
    }
  }

  DispatchPending ();
  return Status;
}

EFI_STATUS
EmulatedBoard::InstallOnHandle (EFI_HANDLE *HandlePtr, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface)
{
  EFI_STATUS   Status = EFI_SUCCESS;
  std::string  Detail = (Protocol != nullptr) ? GuidName (*Protocol) : "NULL";

  if ((TakeFault (("InstallProtocolInterface:" + Detail).c_str (), &Status) || TakeFault ("InstallProtocolInterface", &Status)) && EFI_ERROR (Status)) {
    Record ("InstallProtocolInterface", Detail + " -> " + StatusName (Status), 0, 0, Status);
    return Status;
  }

  if ((HandlePtr == nullptr) || (Protocol == nullptr) || (Type != EFI_NATIVE_INTERFACE)) {
    Record ("InstallProtocolInterface", Detail + " -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  Handle  *Target = nullptr;
  if (*HandlePtr == nullptr) {
    mHandles.push_back (std::make_unique<Handle>());
    Target     = mHandles.back ().get ();
    *HandlePtr = Target;
  } else {
    for (const auto &H : mHandles) {
      Target = (H.get () == *HandlePtr) ? H.get () : Target;
    }

    if (Target == nullptr) {
      Record ("InstallProtocolInterface", Detail + " unknown handle -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
      return EFI_INVALID_PARAMETER;
    }

    for (const auto &P : Target->Protocols) {
      if (GuidEqual (P.first, *Protocol)) {
        Record ("InstallProtocolInterface", Detail + " already on handle -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
        return EFI_INVALID_PARAMETER;
      }
    }
  }

  Target->Protocols.push_back ({ *Protocol, Interface });
  Record ("InstallProtocolInterface", Detail, 0, 0, Status);
  return Status;
}

EFI_STATUS
EmulatedBoard::DoHandleProtocol (EFI_HANDLE HandleValue, EFI_GUID *Protocol, VOID **Interface)
{
  if ((Protocol == nullptr) || (Interface == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  for (const auto &H : mHandles) {
    if (H.get () == HandleValue) {
      for (const auto &P : H->Protocols) {
        if (GuidEqual (P.first, *Protocol)) {
          *Interface = P.second;
          return EFI_SUCCESS;
        }
      }
    }
  }

  return EFI_UNSUPPORTED;
}

EFI_STATUS
EmulatedBoard::DoLocateProtocol (EFI_GUID *Protocol, VOID *Registration, VOID **Interface)
{
  EFI_STATUS   Status = EFI_SUCCESS;
  std::string  Detail = (Protocol != nullptr) ? GuidName (*Protocol) : "NULL";

  if ((TakeFault (("LocateProtocol:" + Detail).c_str (), &Status) || TakeFault ("LocateProtocol", &Status)) && EFI_ERROR (Status)) {
    Record ("LocateProtocol", Detail + " -> " + StatusName (Status), 0, 0, Status);
    return Status;
  }

  if ((Protocol == nullptr) || (Interface == nullptr) || (Registration != nullptr)) {
    Record ("LocateProtocol", Detail + " -> EFI_INVALID_PARAMETER", 0, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  VOID  *Found = FindProtocol (*Protocol);
  if (Found == nullptr && ProtocolCount (*Protocol) == 0) {
    *Interface = nullptr;
    Record ("LocateProtocol", Detail + " -> EFI_NOT_FOUND", 0, 0, EFI_NOT_FOUND);
    return EFI_NOT_FOUND;
  }

  *Interface = Found;
  Record ("LocateProtocol", Detail, 0, 0, Status);
  return Status;
}

VOID *
EmulatedBoard::FindProtocol (const EFI_GUID &Guid) const
{
  for (const auto &H : mHandles) {
    for (const auto &P : H->Protocols) {
      if (GuidEqual (P.first, Guid)) {
        return P.second;
      }
    }
  }

  return nullptr;
}

size_t
EmulatedBoard::ProtocolCount (const EFI_GUID &Guid) const
{
  size_t  Count = 0;

  for (const auto &H : mHandles) {
    for (const auto &P : H->Protocols) {
      Count += GuidEqual (P.first, Guid) ? 1 : 0;
    }
  }

  return Count;
}

EFI_STATUS
EmulatedBoard::InstallProtocol (const EFI_GUID &Guid, VOID *Interface, EFI_HANDLE *HandleOut)
{
  EFI_HANDLE  NewHandle = nullptr;
  EFI_GUID    Copy      = Guid;

  return DoInstallProtocolInterface ((HandleOut != nullptr) ? HandleOut : &NewHandle, &Copy, EFI_NATIVE_INTERFACE, Interface);
}

EFI_STATUS
EmulatedBoard::DoInstallConfigurationTable (EFI_GUID *Guid, VOID *Table)
{
  if (Guid == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  for (size_t Index = 0; Index < mConfigTables.size (); Index++) {
    if (GuidEqual (mConfigTables[Index].VendorGuid, *Guid)) {
      if (Table == nullptr) {
        mConfigTables.erase (mConfigTables.begin () + static_cast<std::ptrdiff_t>(Index));
      } else {
        mConfigTables[Index].VendorTable = Table;
      }

      mSystemTable.ConfigurationTable   = mConfigTables.empty () ? nullptr : mConfigTables.data ();
      mSystemTable.NumberOfTableEntries = mConfigTables.size ();
      return EFI_SUCCESS;
    }
  }

  if (Table == nullptr) {
    return EFI_NOT_FOUND;
  }

  AddConfigurationTable (*Guid, Table);
  return EFI_SUCCESS;
}

//
// Variables.
//
void
EmulatedBoard::PutVariable (const std::u16string &Name, const EFI_GUID &Guid, UINT32 Attributes, const Bytes &Data)
{
  mVariables[{ Name, GuidKey (Guid) }] = Variable { Attributes, Data };
}

const Variable *
EmulatedBoard::FindVariable (const std::u16string &Name, const EFI_GUID &Guid) const
{
  auto  It = mVariables.find ({ Name, GuidKey (Guid) });

  return (It == mVariables.end ()) ? nullptr : &It->second;
}

void
EmulatedBoard::DeleteVariable (const std::u16string &Name, const EFI_GUID &Guid)
{
  mVariables.erase ({ Name, GuidKey (Guid) });
}

EFI_STATUS
EmulatedBoard::DoGetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 *Attributes, UINTN *DataSize, VOID *Data)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = TakeFault (("GetVariable:" + Narrow (Name)).c_str (), &Injected) || TakeFault ("GetVariable", &Injected);
  std::string  Detail   = Narrow (Name) + " size=" + ((DataSize != nullptr) ? std::to_string (*DataSize) : "NULL");
  UINT64       InSize   = (DataSize != nullptr) ? *DataSize : 0;

  if (Faulted && EFI_ERROR (Injected)) {
    Record ("GetVariable", Detail + " -> " + StatusName (Injected), InSize, 0, Injected);
    return Injected;
  }

  if ((Name == nullptr) || (Guid == nullptr) || (DataSize == nullptr) || (*Name == 0)) {
    Record ("GetVariable", Detail + " -> EFI_INVALID_PARAMETER", InSize, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  const Variable  *Var = FindVariable (Name, *Guid);
  if (Var == nullptr) {
    Record ("GetVariable", Detail + " -> EFI_NOT_FOUND", InSize, 0, EFI_NOT_FOUND);
    return EFI_NOT_FOUND;
  }

  if (*DataSize < Var->Data.size ()) {
    *DataSize = Var->Data.size ();
    Record ("GetVariable", Detail + " -> EFI_BUFFER_TOO_SMALL need " + std::to_string (*DataSize), InSize, *DataSize, EFI_BUFFER_TOO_SMALL);
    return EFI_BUFFER_TOO_SMALL;
  }

  if ((Data == nullptr) && !Var->Data.empty ()) {
    Record ("GetVariable", Detail + " -> EFI_INVALID_PARAMETER", InSize, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  std::memcpy (Data, Var->Data.data (), Var->Data.size ());
  *DataSize = Var->Data.size ();
  if (Attributes != nullptr) {
    *Attributes = Var->Attributes;
  }

  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  Record ("GetVariable", Detail + " -> " + StatusName (Status) + " got " + std::to_string (*DataSize), InSize, *DataSize, Status);
  return Status;
}

EFI_STATUS
EmulatedBoard::DoSetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 Attributes, UINTN DataSize, const VOID *Data)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = TakeFault (("SetVariable:" + Narrow (Name)).c_str (), &Injected) || TakeFault ("SetVariable", &Injected);
  std::string  Detail   = Narrow (Name) + " attr=" + Hex (Attributes) + " size=" + std::to_string (DataSize);

  if (Faulted && EFI_ERROR (Injected)) {
    Record ("SetVariable", Detail + " -> " + StatusName (Injected), DataSize, Attributes, Injected);
    return Injected;
  }

  if ((Name == nullptr) || (Guid == nullptr) || (*Name == 0) || ((DataSize != 0) && (Data == nullptr)) ||
      (((Attributes & EFI_VARIABLE_RUNTIME_ACCESS) != 0) && ((Attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS) == 0)))
  {
    Record ("SetVariable", Detail + " -> EFI_INVALID_PARAMETER", DataSize, Attributes, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  const Variable  *Existing = FindVariable (Name, *Guid);
  if ((DataSize == 0) || (Attributes == 0)) {
    if (Existing == nullptr) {
      Record ("SetVariable", Detail + " delete -> EFI_NOT_FOUND", DataSize, Attributes, EFI_NOT_FOUND);
      return EFI_NOT_FOUND;
    }

    DeleteVariable (Name, *Guid);
    Record ("SetVariable", Detail + " delete", DataSize, Attributes);
    return EFI_SUCCESS;
  }

  if ((Existing != nullptr) && (Existing->Attributes != Attributes)) {
    Record ("SetVariable", Detail + " attributes differ -> EFI_INVALID_PARAMETER", DataSize, Attributes, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  const UINT8  *Bytes8 = static_cast<const UINT8 *>(Data);
  PutVariable (Name, *Guid, Attributes, Bytes (Bytes8, Bytes8 + DataSize));
  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  Record ("SetVariable", Detail + " -> " + StatusName (Status), DataSize, Attributes, Status);
  return Status;
}

//
// Processor and chipset.
//
UINT64
EmulatedBoard::ReadMsr (UINT32 Index)
{
  auto    It    = mMsrs.find (Index);
  UINT64  Value = (It == mMsrs.end ()) ? 0 : It->second;

  Record ("ReadMsr", Hex (Index) + " -> " + Hex (Value), Index, Value);
  return Value;
}

UINT64
EmulatedBoard::ReadTsc ()
{
  UINT64  Value = mTsc;

  mTsc += mTscStep;
  mTscReads++;
  if (mTraceTsc) {
    Record ("ReadTsc", Hex (Value), Value);
  }

  return Value;
}

VOID
EmulatedBoard::PortWrite (UINT16 Port, UINT8 Value)
{
  Record ("IoWrite8", "port " + Hex (Port, 2) + " <- " + Hex (Value, 2), Port, Value);
  switch (Port) {
    case 0x70: mStandardIndex = Value; break;
    case 0x71: mStandardCmos[mStandardIndex & 0x7F] = Value; break;
    case 0x72: mExtendedIndex = Value; break;
    case 0x73: mExtendedCmos[mExtendedIndex & 0x7F] = Value; break;
    case 0xCF9:
      //
      // Reset control register: bit 2 starts the reset, bit 1 makes it a
      // hard reset, bit 3 a full one. 0x0E asks for a full reset.
      //
      mResetControl = Value;
      if ((Value & 0x04) != 0) {
        EndBootByReset (BootEnd::ResetByPortCf9, Value);
      }

      break;
    default:
      break;
  }
}

UINT8
EmulatedBoard::PortRead (UINT16 Port)
{
  UINT8  Value = 0xFF;

  switch (Port) {
    case 0x70: Value = mStandardIndex; break;
    case 0x71: Value = mStandardCmos[mStandardIndex & 0x7F]; break;
    case 0x72: Value = mExtendedIndex; break;
    case 0x73: Value = mExtendedCmos[mExtendedIndex & 0x7F]; break;
    case 0xCF9: Value = mResetControl; break;
    default: break;
  }

  Record ("IoRead8", "port " + Hex (Port, 2) + " -> " + Hex (Value, 2), Port, Value);
  return Value;
}

VOID
EmulatedBoard::DoResetSystem (EFI_RESET_TYPE Type, EFI_STATUS Status)
{
  Record ("ResetSystem", "type=" + std::to_string (Type) + " status=" + StatusName (Status), Type, Status);
  EndBootByReset (BootEnd::ResetSystem, 0);
}

void
EmulatedBoard::EndBootByReset (BootEnd Why, UINT8 Value)
{
  mResetWhy   = Why;
  mResetValue = Value;
  Record ("Reset", BootEndName (Why), Value);
  if (mResetJump == nullptr) {
    //
    // Nothing can stop this processor here: no boot is being run.
    //
    std::fprintf (stderr, "emulated board: reset outside a boot\n");
    std::abort ();
  }

  std::longjmp (*mResetJump, 1);
}

//
// The boot runner.
//
BootEnd
EmulatedBoard::RunUntilReset (const std::function<void ()> &Body)
{
  std::jmp_buf  Jump;
  std::jmp_buf  *Outer = mResetJump;

  mResetJump = &Jump;
  if (setjmp (Jump) == 0) {
    Body ();
    mResetJump = Outer;
    return BootEnd::Completed;
  }

  mResetJump = Outer;
  return mResetWhy;
}

void
EmulatedBoard::InstallIpmiTransport ()
{
  InstallProtocol (gIpmiTransportProtocolGuid, mBmc->Transport ());
}

BootRecord
EmulatedBoard::RunBoot (const BootScript &Script)
{
  BootRecord   Record_;
  DriverImage  &Image = *mImage;
  EFI_STATUS   EntryStatus = EFI_SUCCESS;

  ResetPlatformState ();
  Record_.Number     = ++mBootNumber;
  Record_.TraceBegin = mTrace.size ();
  Record ("Boot", "boot " + std::to_string (Record_.Number), Record_.Number);

  Record_.End = RunUntilReset (
                  [&]() {
                    if (Script.BeforeEntry) {
                      Script.BeforeEntry ();
                    }

                    Image.Load ();
                    EntryStatus = Image.EntryPoint ()(mImageHandle, &mSystemTable);
                    Record ("EntryPointReturned", StatusName (EntryStatus), 0, 0, EntryStatus);
                    if (Script.InstallIpmiTransport) {
                      InstallIpmiTransport ();
                    }

                    if (Script.InstallTriggerProtocol) {
                      static UINT8  TriggerInterface;
                      EFI_GUID      Trigger = { 0x5E90A50D, 0x6955, 0x4A49, { 0x90, 0x32, 0xDA, 0x38, 0x12, 0xF8, 0xE8, 0xE5 } };
                      InstallProtocol (Trigger, &TriggerInterface);
                    }

                    if (Script.AfterHooks) {
                      Script.AfterHooks ();
                    }

                    if (Script.SignalReadyToBoot) {
                      SignalReadyToBoot ();
                    }
                  }
                  );
  Record_.ResetValue  = (Record_.End == BootEnd::ResetByPortCf9) ? mResetValue : 0;
  Record_.EntryStatus = EntryStatus;
  Record ("BootEnded", BootEndName (Record_.End), static_cast<UINT64>(Record_.End));
  Record_.TraceEnd = mTrace.size ();
  return Record_;
}

std::vector<BootRecord>
EmulatedBoard::RunBoots (const BootScript &Script, unsigned MaxBoots)
{
  std::vector<BootRecord>  Boots;

  for (unsigned Index = 0; Index < MaxBoots; Index++) {
    Boots.push_back (RunBoot (Script));
    if (Boots.back ().End == BootEnd::Completed) {
      break;
    }
  }

  return Boots;
}

}  // namespace Emu

//
// The processor and chipset, as the host platform layer of a driver image
// reaches them.
//
extern "C" {

VOID
EmuIoWrite8 (UINT16 Port, UINT8 Value)
{
  Emu::Board ().PortWrite (Port, Value);
}

UINT8
EmuIoRead8 (UINT16 Port)
{
  return Emu::Board ().PortRead (Port);
}

UINT64
EmuReadMsr64 (UINT32 Index)
{
  return Emu::Board ().ReadMsr (Index);
}

UINT64
EmuReadTsc (VOID)
{
  return Emu::Board ().ReadTsc ();
}

VOID
EmuCpuPause (VOID)
{
  Emu::Board ().Pause ();
}

}
