/** @file
  The emulated board's own firmware semantics, which the driver tests lean on:
  events and groups, protocol notification, the variable store with its
  limits and injected faults, the chipset's ports and the reset that ends a
  boot; and the firmware's strictness, which stops the program where a DEBUG
  build of EDK2 would ASSERT.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <IndustryStandard/IpmiFru.h>

#include <gtest/gtest.h>

using namespace Emu;

namespace {

int  gNotified;

VOID EFIAPI
CountNotify (EFI_EVENT, VOID *)
{
  gNotified++;
}

//
// A notify function that closes its own event, through the boot services
// given as its context.
//
VOID EFIAPI
CloseSelf (EFI_EVENT Event, VOID *Context)
{
  gNotified++;
  static_cast<EFI_BOOT_SERVICES *>(Context)->CloseEvent (Event);
}

const EFI_GUID  TestProtocol = { 0xAAAA0001, 1, 2, { 3, 4, 5, 6, 7, 8, 9, 10 } };
const EFI_GUID  TestGroup    = { 0xAAAA0002, 1, 2, { 3, 4, 5, 6, 7, 8, 9, 10 } };

constexpr UINT32  NV_BS = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;

}  // namespace

TEST (EmulatedBoard, ProtocolNotifyFiresOnlyForLaterInstallsAndNeverAfterClose) {
  EmulatedBoard      Board;
  EFI_BOOT_SERVICES  *Bs = Board.Tables.SystemTable ()->BootServices;
  EFI_EVENT          Event = nullptr;
  VOID               *Key = nullptr;
  EFI_GUID           Guid = TestProtocol;
  static UINT8       First, Second, Third;

  gNotified = 0;
  Board.Protocols.Install (TestProtocol, &First);
  ASSERT_EQ (Bs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CountNotify, nullptr, &Event), EFI_SUCCESS);
  ASSERT_EQ (Bs->RegisterProtocolNotify (&Guid, Event, &Key), EFI_SUCCESS);
  EXPECT_EQ (gNotified, 0) << "an earlier install does not signal";

  Board.Protocols.Install (TestProtocol, &Second);
  EXPECT_EQ (gNotified, 1);
  VOID  *Found = nullptr;
  EXPECT_EQ (Bs->LocateProtocol (&Guid, nullptr, &Found), EFI_SUCCESS);
  EXPECT_EQ (Found, &First) << "LocateProtocol answers the first installed interface";

  EXPECT_EQ (Bs->CloseEvent (Event), EFI_SUCCESS);
  Board.Protocols.Install (TestProtocol, &Third);
  EXPECT_EQ (gNotified, 1);
  EXPECT_EQ (Bs->CloseEvent (reinterpret_cast<EFI_EVENT>(&First)), EFI_INVALID_PARAMETER) << "never an event";
}

TEST (EmulatedBoard, EventGroupsSignalTogetherAtCallbackLevel) {
  EmulatedBoard      Board;
  EFI_BOOT_SERVICES  *Bs = Board.Tables.SystemTable ()->BootServices;
  EFI_EVENT          A = nullptr, B = nullptr;

  gNotified = 0;
  ASSERT_EQ (Bs->CreateEventEx (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CloseSelf, Bs, &TestGroup, &A), EFI_SUCCESS);
  ASSERT_EQ (Bs->CreateEventEx (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CloseSelf, Bs, &TestGroup, &B), EFI_SUCCESS);

  //
  // Raised to TPL_CALLBACK, the signal waits until the TPL drops.
  //
  EFI_TPL  Old = Bs->RaiseTPL (TPL_CALLBACK);
  EXPECT_EQ (Bs->SignalEvent (A), EFI_SUCCESS);
  EXPECT_EQ (gNotified, 0);
  Bs->RestoreTPL (Old);
  EXPECT_EQ (gNotified, 2);
  EXPECT_EQ (Board.Events.LiveCount (), 0u);
  EXPECT_EQ (Board.Trace.Count ("Notify"), 2u);
}

TEST (EmulatedBoardDeathTest, MisusedEventsAndTplStopTheFirmware) {
  EmulatedBoard      Board;
  EFI_BOOT_SERVICES  *Bs = Board.Tables.SystemTable ()->BootServices;
  EFI_EVENT          Event = nullptr;
  VOID               *Key = nullptr;
  EFI_GUID           Guid = TestProtocol;

  ASSERT_EQ (Bs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CountNotify, nullptr, &Event), EFI_SUCCESS);
  ASSERT_EQ (Bs->CloseEvent (Event), EFI_SUCCESS);
  EXPECT_DEATH (Bs->CloseEvent (Event), "CloseEvent given event#1 after CloseEvent");
  EXPECT_DEATH (Bs->SignalEvent (Event), "after CloseEvent");
  EXPECT_DEATH (Bs->RegisterProtocolNotify (&Guid, Event, &Key), "after CloseEvent");

  EXPECT_DEATH (Bs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, nullptr, nullptr, &Event), "no notify function");
  EXPECT_DEATH (Bs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_APPLICATION, CountNotify, nullptr, &Event), "notify TPL 4");
  EXPECT_DEATH (Bs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_HIGH_LEVEL, CountNotify, nullptr, &Event), "notify TPL 31");
  EXPECT_DEATH (Bs->CreateEvent (0x00000400, TPL_CALLBACK, CountNotify, nullptr, &Event), "invalid type 0x400");

  EFI_TPL  Old = Bs->RaiseTPL (TPL_NOTIFY);
  EXPECT_DEATH (Bs->RaiseTPL (TPL_CALLBACK), "RaiseTPL from 16 to 8");
  EXPECT_DEATH (Bs->RestoreTPL (TPL_HIGH_LEVEL), "RestoreTPL from 16 up to 31");
  Bs->RestoreTPL (Old);
  EXPECT_DEATH (Bs->RaiseTPL (TPL_HIGH_LEVEL + 1), "RaiseTPL");
}

TEST (EmulatedBoardDeathTest, ServicesCalledAboveTheirTplStopTheFirmware) {
  EmulatedBoard         Board;
  EFI_BOOT_SERVICES     *Bs = Board.Tables.SystemTable ()->BootServices;
  EFI_RUNTIME_SERVICES  *Rt = Board.Tables.SystemTable ()->RuntimeServices;
  EFI_GUID              Guid = TestProtocol;
  UINT8                 Data[4] = {};
  UINTN                 Size = sizeof (Data);
  VOID                  *Found = nullptr;

  //
  // Variable services up to TPL_CALLBACK, protocol and event services up to
  // TPL_NOTIFY.
  //
  EFI_TPL  Old = Bs->RaiseTPL (TPL_CALLBACK);
  EXPECT_EQ (Rt->SetVariable (u"V", &Guid, NV_BS, sizeof (Data), Data), EFI_SUCCESS);
  Bs->RestoreTPL (Old);
  Old = Bs->RaiseTPL (TPL_NOTIFY);
  EXPECT_EQ (Bs->LocateProtocol (&Guid, nullptr, &Found), EFI_NOT_FOUND);
  EXPECT_DEATH (Rt->GetVariable (u"V", &Guid, nullptr, &Size, Data), "GetVariable called at TPL 16, above 8");
  EXPECT_DEATH (Rt->SetVariable (u"V", &Guid, NV_BS, sizeof (Data), Data), "SetVariable called at TPL 16");
  Bs->RestoreTPL (Old);

  Old = Bs->RaiseTPL (TPL_HIGH_LEVEL);
  EXPECT_DEATH (Bs->LocateProtocol (&Guid, nullptr, &Found), "LocateProtocol called at TPL 31, above 16");
  EXPECT_DEATH (Board.Protocols.Install (TestProtocol, Data), "InstallProtocolInterface called at TPL 31");
  EFI_EVENT  Event = nullptr;
  EXPECT_DEATH (Bs->CreateEvent (0, 0, nullptr, nullptr, &Event), "CreateEvent called at TPL 31");
  Bs->RestoreTPL (Old);
}

TEST (EmulatedBoardDeathTest, OnlyOneBoardIsLiveAndATransportServesOnlyItsOwnBmc) {
  EXPECT_DEATH ({ EmulatedBoard First; EmulatedBoard Second; }, "second emulated");

  //
  // Each of the two seams a driver image reaches without naming a board
  // refuses a second live piece on its own: the firmware tables, and the
  // processor and chipset behind the host platform layer.
  //
  EXPECT_DEATH ({
    EmulatedBoard     First;
    EventEngine       Events (First.Trace, First.Faults);
    ProtocolDatabase  Protocols (First.Trace, First.Faults, Events);
    VariableStore     Variables (First.Trace, First.Faults, Events);
    FirmwareTables    Second (First.Trace, Events, Protocols, Variables, nullptr);
  }, "second emulated firmware");
  EXPECT_DEATH ({
    EmulatedBoard  First;
    Processor      Cpu (First.Trace);
    Chipset        Chip (First.Trace, nullptr);
    HostCpu        Second (Cpu, Chip);
  }, "second emulated board");
  EXPECT_DEATH ({ EmulatedBoard Board; Board.Driver.Functions (); }, "before the driver image was loaded");

  //
  // A transport outlives its board: a call through it must not reach the
  // next board's BMC.
  //
  IPMI_TRANSPORT_PROTOCOL  Stale;
  {
    EmulatedBoard  First;
    Stale = *First.Transport.Interface ();
  }

  EmulatedBoard  Second;
  UINT8          Request[4] = { 0, 0, 0, 1 };
  UINT8          Response[8 + IPMI_RESPONSE_SLACK];
  UINT32         ResponseSize = 8;
  EXPECT_DEATH (IpmiSendAnyShape (&Stale, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, &ResponseSize), "no BMC owns");
  EXPECT_TRUE (Second.Bmc.Requests ().empty ());
}

TEST (EmulatedFirmware, CoreServesADriverWithoutABoard) {
  //
  // The firmware half alone: its services work and ResetSystem goes to the
  // handler it was given, traced first.
  //
  TraceLog          Trace;
  FaultPlan         Faults;
  EventEngine       Events (Trace, Faults);
  ProtocolDatabase  Protocols (Trace, Faults, Events);
  VariableStore     Variables (Trace, Faults, Events);
  EFI_RESET_TYPE    ResetType = EfiResetShutdown;
  FirmwareTables    Tables (Trace, Events, Protocols, Variables, [&ResetType](EFI_RESET_TYPE Type, EFI_STATUS) { ResetType = Type; });
  EFI_SYSTEM_TABLE  *St   = Tables.SystemTable ();
  EFI_EVENT         Event = nullptr;
  UINT8             Interface;
  VOID              *Found = nullptr;

  ASSERT_EQ (St->BootServices->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CountNotify, nullptr, &Event), EFI_SUCCESS);
  EXPECT_EQ (Events.LiveCount (), 1u);
  Protocols.Install (TestProtocol, &Interface);
  EXPECT_EQ (St->BootServices->LocateProtocol (const_cast<EFI_GUID *>(&TestProtocol), nullptr, &Found), EFI_SUCCESS);
  EXPECT_EQ (Found, &Interface);
  St->RuntimeServices->ResetSystem (EfiResetCold, EFI_SUCCESS, 0, nullptr);
  EXPECT_EQ (ResetType, EfiResetCold);
  EXPECT_EQ (Trace.Count ("ResetSystem"), 1u);

  //
  // The HOB list is in the configuration table from the next boot on.
  //
  Tables.SetHobList (HobListBuilder ().End ().Data ());
  EXPECT_EQ (St->NumberOfTableEntries, 0u);
  Tables.ResetConfigurationTables ();
  ASSERT_EQ (St->NumberOfTableEntries, 1u);
  EXPECT_EQ (St->ConfigurationTable[0].VendorTable, Tables.HobList ());
}

TEST (EmulatedBoard, ABootCanInstallASecondTransportBesideTheBoardsOwn) {
  //
  // Another BMC behind another transport, installed by the boot script in
  // place of the board's: the driver's commands all reach it.
  //
  EmulatedBoard  Board;
  EmulatedBmc    OtherBmc (Board.Trace);
  BmcTransport   Other (OtherBmc);
  BootScript     Script;

  Board.Cpu.SetMsr (0xCE, 0x20ull << 8);
  OtherBmc.SetFruDevice (0, Bytes (256, 0x6B));
  Script.IpmiTransport = Other.Interface ();
  Board.Runner.RunBoots (Script);
  EXPECT_TRUE (Board.Bmc.Requests ().empty ());
  ASSERT_FALSE (OtherBmc.Requests ().empty ());
  EXPECT_EQ (OtherBmc.Requests ().front ().This, Other.Interface ());
}

TEST (EmulatedBoard, VariableStoreSemanticsAndFaults) {
  EmulatedBoard         Board;
  EFI_RUNTIME_SERVICES  *Rt = Board.Tables.SystemTable ()->RuntimeServices;
  EFI_GUID              Guid = TestProtocol;
  UINT8                 Data[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
  UINT8                 Out[8] = {};
  UINTN                 Size = 4;
  UINT32                Attributes = 0;

  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_NOT_FOUND);
  EXPECT_EQ (Rt->SetVariable (u"V", &Guid, EFI_VARIABLE_RUNTIME_ACCESS, 8, Data), EFI_INVALID_PARAMETER);
  ASSERT_EQ (Rt->SetVariable (u"V", &Guid, EFI_VARIABLE_BOOTSERVICE_ACCESS, 8, Data), EFI_SUCCESS);
  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Size, 8u);
  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_SUCCESS);
  EXPECT_EQ (Attributes, EFI_VARIABLE_BOOTSERVICE_ACCESS);
  EXPECT_EQ (Out[7], 8);

  Board.Faults.FailNext ("SetVariable", EFI_WRITE_PROTECTED);
  Data[0] = 9;
  EXPECT_EQ (Rt->SetVariable (u"V", &Guid, EFI_VARIABLE_BOOTSERVICE_ACCESS, 8, Data), EFI_WRITE_PROTECTED);
  EXPECT_EQ (Board.Variables.Find (u"V", Guid)->Data[0], 1) << "a failed store changes nothing";
  Board.Faults.FailNext ("GetVariable", EFI_WARN_STALE_DATA);
  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_WARN_STALE_DATA);
  EXPECT_EQ (Out[0], 1) << "a warning still reads";

  //
  // The third service call from here fails, wherever it goes; the count runs
  // on across a new boot, the named faults do not.
  //
  Board.Faults.FailNext ("GetVariable:Other", EFI_DEVICE_ERROR);
  Board.Faults.FailCall (3, EFI_NOT_FOUND);
  Board.ResetPlatformState ();
  EXPECT_EQ (Rt->SetVariable (u"Other", &Guid, EFI_VARIABLE_BOOTSERVICE_ACCESS, 8, Data), EFI_SUCCESS);
  EXPECT_EQ (Rt->GetVariable (u"Other", &Guid, &Attributes, &Size, Out), EFI_SUCCESS);
  EXPECT_EQ (Rt->GetVariable (u"Other", &Guid, &Attributes, &Size, Out), EFI_NOT_FOUND);
  EXPECT_EQ (Rt->GetVariable (u"Other", &Guid, &Attributes, &Size, Out), EFI_SUCCESS);

  //
  // A new boot keeps only non-volatile variables.
  //
  Board.Variables.Put (u"NV", Guid, NV_BS, { 1 });
  Board.ResetPlatformState ();
  EXPECT_EQ (Board.Variables.Find (u"Other", Guid), nullptr);
  EXPECT_NE (Board.Variables.Find (u"NV", Guid), nullptr);
}

TEST (EmulatedBoard, VariableStoreHasOvmfLimitsAndLocks) {
  EmulatedBoard         Board;
  EFI_RUNTIME_SERVICES  *Rt = Board.Tables.SystemTable ()->RuntimeServices;
  EFI_GUID              Guid = TestProtocol;

  //
  // One variable: its name ("Big" and the terminator, 8 bytes) and data may
  // take 0x8400 bytes less the 60-byte header.
  //
  Bytes  Largest (0x8400 - VariableStore::HEADER_SIZE - 8, 0x11);
  EXPECT_EQ (Rt->SetVariable (u"Big", &Guid, NV_BS, Largest.size () + 1, Largest.data ()), EFI_INVALID_PARAMETER);
  ASSERT_EQ (Rt->SetVariable (u"Big", &Guid, NV_BS, Largest.size (), Largest.data ()), EFI_SUCCESS);

  //
  // The store fills: seven such variables take 0x39C00 bytes of the
  // 0x40000-byte store, an eighth does not fit. Replacing one with data of
  // the same size still fits; a volatile one goes to its own store.
  //
  for (CHAR16 Letter = u'A'; Letter < u'G'; Letter++) {
    CHAR16  Name[] = { u'B', u'i', Letter, 0 };
    ASSERT_EQ (Rt->SetVariable (Name, &Guid, NV_BS, Largest.size (), Largest.data ()), EFI_SUCCESS) << static_cast<char>(Letter);
  }

  EXPECT_EQ (Rt->SetVariable (u"BiZ", &Guid, NV_BS, Largest.size (), Largest.data ()), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ (Board.Variables.Find (u"BiZ", Guid), nullptr);
  Largest[0] = 0x22;
  EXPECT_EQ (Rt->SetVariable (u"Big", &Guid, NV_BS, Largest.size (), Largest.data ()), EFI_SUCCESS);
  EXPECT_EQ (Board.Variables.Find (u"Big", Guid)->Data[0], 0x22);
  EXPECT_EQ (Rt->SetVariable (u"BiZ", &Guid, EFI_VARIABLE_BOOTSERVICE_ACCESS, Largest.size (), Largest.data ()), EFI_SUCCESS);
  EXPECT_EQ (Board.Variables.Used (true), 7 * VariableStore::RecordSize (3, Largest.size ()));

  //
  // A locked variable is refused, deletion included, and stays as it was.
  //
  Board.Variables.Lock (u"Big", Guid);
  EXPECT_EQ (Rt->SetVariable (u"Big", &Guid, NV_BS, 4, Largest.data ()), EFI_WRITE_PROTECTED);
  EXPECT_EQ (Rt->SetVariable (u"Big", &Guid, NV_BS, 0, nullptr), EFI_WRITE_PROTECTED);
  EXPECT_EQ (Board.Variables.Find (u"Big", Guid)->Data.size (), Largest.size ());
}

TEST (EmulatedBoard, BmcExchangeFaultHitsTheNthExchangeOnly) {
  EmulatedBoard            Board;
  IPMI_TRANSPORT_PROTOCOL  *Transport = Board.Transport.Interface ();
  UINT8                    Request[4] = { 0, 0, 0, 1 };
  UINT8                    Response[8 + IPMI_RESPONSE_SLACK];
  UINT32                   Size;
  BmcFault                 Busy;

  Board.Bmc.SetFruDevice (0, Bytes (16, 0x42));
  Busy.Value = 0x81;
  Board.Bmc.FailExchange (2, Busy);
  for (UINT8 Expected : { 0x00, 0x81, 0x00 }) {
    Size = 8;
    EXPECT_EQ (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, &Size), EFI_SUCCESS);
    EXPECT_EQ (Response[0], Expected);
  }

  EXPECT_EQ (Board.Bmc.Exchanges (), 3u);
}

TEST (EmulatedBoard, ResetRequestEndsTheBootWhereItHappens) {
  EmulatedBoard  Board;
  bool           After = false;

  EXPECT_EQ (Board.Runner.RunUntilReset ([&]() { Board.Chip.PortWrite (0xCF9, 0x02); After = true; }), BootEnd::Completed) << "bit 2 clear: no reset";
  After = false;
  EXPECT_EQ (Board.Runner.RunUntilReset ([&]() { Board.Chip.PortWrite (0xCF9, 0x0E); After = true; }), BootEnd::ResetByPortCf9);
  EXPECT_FALSE (After);

  //
  // The two CMOS banks are separate.
  //
  Board.Chip.PortWrite (0x72, 0x81);
  Board.Chip.PortWrite (0x73, 0x99);
  Board.Chip.PortWrite (0x70, 0x01);
  EXPECT_EQ (Board.Chip.PortRead (0x71), 0x00);
  EXPECT_EQ (Board.Chip.ExtendedCmos (0x81), 0x99);
}
