/** @file
  The firmware tables and the service entry points behind them. The entry
  points reach the live tables and hand each call to the piece that owns it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FirmwareTables.h"
#include "EventEngine.h"
#include "FirmwareAssert.h"
#include "Names.h"
#include "ProtocolDatabase.h"
#include "TraceLog.h"
#include "VariableStore.h"

#include <Guid/HobList.h>

#include <cstring>
#include <type_traits>

namespace Emu {

namespace {

FirmwareTables  *gLiveTables = nullptr;

}  // namespace

///
/// The live tables, as the service entry points reach them.
///
struct LiveTables {
  static FirmwareTables &
  Get ()
  {
    if (gLiveTables == nullptr) {
      FirmwareAssert ("a firmware service was called with no firmware live");
    }

    return *gLiveTables;
  }

  static TraceLog         &Trace () { return Get ().mTrace; }
  static EventEngine      &Events () { return Get ().mEvents; }
  static ProtocolDatabase &Protocols () { return Get ().mProtocols; }
  static VariableStore    &Variables () { return Get ().mVariables; }
  static void              ResetSystem (EFI_RESET_TYPE Type, EFI_STATUS Status) { Get ().mOnResetSystem (Type, Status); }
};

namespace {

//
// Every service slot the board does not implement answers EFI_UNSUPPORTED
// and leaves a trace entry, with the slot's own signature.
//
template <typename FN, const char *Name>
struct Unsupported;

template <typename R, typename... ARGS, const char *Name>
struct Unsupported<R (EFIAPI *)(ARGS...), Name> {
  static R EFIAPI
  Call (ARGS...)
  {
    LiveTables::Trace ().Record (Name, "not provided by the emulated board", 0, 0, EFI_UNSUPPORTED);
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
    LiveTables::Trace ().Record (Name, "not provided by the emulated board", 0, 0, EFI_UNSUPPORTED);
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
  return LiveTables::Events ().RaiseTpl (NewTpl);
}

VOID EFIAPI
BsRestoreTpl (EFI_TPL OldTpl)
{
  LiveTables::Events ().RestoreTpl (OldTpl);
}

EFI_STATUS EFIAPI
BsAllocatePages (EFI_ALLOCATE_TYPE, EFI_MEMORY_TYPE, UINTN Pages, EFI_PHYSICAL_ADDRESS *)
{
  LiveTables::Get ().CountAllocation ("AllocatePages", Pages);
  return EFI_OUT_OF_RESOURCES;
}

EFI_STATUS EFIAPI
BsFreePages (EFI_PHYSICAL_ADDRESS, UINTN Pages)
{
  LiveTables::Get ().CountAllocation ("FreePages", Pages);
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI
BsAllocatePool (EFI_MEMORY_TYPE, UINTN Size, VOID **)
{
  LiveTables::Get ().CountAllocation ("AllocatePool", Size);
  return EFI_OUT_OF_RESOURCES;
}

EFI_STATUS EFIAPI
BsFreePool (VOID *)
{
  LiveTables::Get ().CountAllocation ("FreePool", 0);
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI
BsCreateEvent (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context, EFI_EVENT *Event)
{
  return LiveTables::Events ().CreateEvent (Type, Tpl, Notify, Context, nullptr, Event, "CreateEvent");
}

EFI_STATUS EFIAPI
BsCreateEventEx (UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, const VOID *Context, const EFI_GUID *Group, EFI_EVENT *Event)
{
  return LiveTables::Events ().CreateEvent (Type, Tpl, Notify, Context, Group, Event, "CreateEventEx");
}

EFI_STATUS EFIAPI
BsSignalEvent (EFI_EVENT Event)
{
  return LiveTables::Events ().SignalEvent (Event);
}

EFI_STATUS EFIAPI
BsCloseEvent (EFI_EVENT Event)
{
  return LiveTables::Events ().CloseEvent (Event);
}

EFI_STATUS EFIAPI
BsInstallProtocolInterface (EFI_HANDLE *Handle, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type, VOID *Interface)
{
  return LiveTables::Protocols ().InstallProtocolInterface (Handle, Protocol, Type, Interface);
}

EFI_STATUS EFIAPI
BsHandleProtocol (EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface)
{
  return LiveTables::Protocols ().HandleProtocol (Handle, Protocol, Interface);
}

EFI_STATUS EFIAPI
BsRegisterProtocolNotify (EFI_GUID *Protocol, EFI_EVENT Event, VOID **Registration)
{
  return LiveTables::Protocols ().RegisterProtocolNotify (Protocol, Event, Registration);
}

EFI_STATUS EFIAPI
BsInstallConfigurationTable (EFI_GUID *Guid, VOID *Table)
{
  return LiveTables::Get ().InstallConfigurationTable (Guid, Table);
}

EFI_STATUS EFIAPI
BsLocateProtocol (EFI_GUID *Protocol, VOID *Registration, VOID **Interface)
{
  return LiveTables::Protocols ().LocateProtocol (Protocol, Registration, Interface);
}

//
// Runtime services.
//
EFI_STATUS EFIAPI
RtGetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 *Attributes, UINTN *DataSize, VOID *Data)
{
  return LiveTables::Variables ().GetVariable (Name, Guid, Attributes, DataSize, Data);
}

EFI_STATUS EFIAPI
RtSetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 Attributes, UINTN DataSize, const VOID *Data)
{
  return LiveTables::Variables ().SetVariable (Name, Guid, Attributes, DataSize, Data);
}

VOID EFIAPI
RtResetSystem (EFI_RESET_TYPE Type, EFI_STATUS Status, UINTN, VOID *)
{
  LiveTables::Trace ().Record ("ResetSystem", "type=" + std::to_string (Type) + " status=" + StatusName (Status), Type, Status);
  LiveTables::ResetSystem (Type, Status);
}

}  // namespace

FirmwareTables::FirmwareTables (
  TraceLog          &Log,
  EventEngine       &Events,
  ProtocolDatabase  &Protocols,
  VariableStore     &Variables,
  ResetHandler      OnResetSystem
  )
  : mTrace (Log),
    mEvents (Events),
    mProtocols (Protocols),
    mVariables (Variables),
    mOnResetSystem (std::move (OnResetSystem))
{
  if (gLiveTables != nullptr) {
    FirmwareAssert ("a second emulated firmware while one is live: a driver's service call could not tell them apart");
  }

  gLiveTables = this;

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
}

FirmwareTables::~FirmwareTables ()
{
  if (gLiveTables == this) {
    gLiveTables = nullptr;
  }
}

void
FirmwareTables::Publish ()
{
  mSystemTable.ConfigurationTable   = mConfigTables.empty () ? nullptr : mConfigTables.data ();
  mSystemTable.NumberOfTableEntries = mConfigTables.size ();
}

void
FirmwareTables::AddConfigurationTable (const EFI_GUID &Guid, VOID *Table)
{
  mConfigTables.push_back ({ Guid, Table });
  Publish ();
}

void
FirmwareTables::ResetConfigurationTables ()
{
  mConfigTables.clear ();
  if (!mHobList.empty ()) {
    mConfigTables.push_back ({ gEfiHobListGuid, mHobList.data () });
  }

  Publish ();
}

void
FirmwareTables::SetHobList (const Bytes &Raw)
{
  mHobList.assign ((Raw.size () + 7) / 8, 0);
  if (!Raw.empty ()) {
    std::memcpy (mHobList.data (), Raw.data (), Raw.size ());
  }

  mHobListSize = Raw.size ();
}

EFI_STATUS
FirmwareTables::InstallConfigurationTable (EFI_GUID *Guid, VOID *Table)
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

      Publish ();
      return EFI_SUCCESS;
    }
  }

  if (Table == nullptr) {
    return EFI_NOT_FOUND;
  }

  AddConfigurationTable (*Guid, Table);
  return EFI_SUCCESS;
}

void
FirmwareTables::CountAllocation (const char *Service, UINT64 Size)
{
  mAllocationCalls++;
  mTrace.Record (Service, "size=" + std::to_string (Size), Size, 0, EFI_OUT_OF_RESOURCES);
}

}
