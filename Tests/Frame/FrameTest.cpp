/** @file
  The driver frame on the emulated board: entry point, event wiring, hook
  lists and the HOB list lookup.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <Guid/BootHookTrigger.h>
#include <Guid/HobList.h>
#include <Protocol/IpmiTransport.h>

#include <gtest/gtest.h>

using namespace Emu;

namespace {

//
// The IPMI-ready list ran when the driver closed the IPMI notification's
// event: the notify function closes it after walking the list.
//
size_t
IpmiReadyRuns (const EmulatedBoard &Board, const BootRecord &Boot)
{
  size_t  Runs = 0;
  UINT64  IpmiEvent = 0;

  for (size_t Index = Boot.TraceBegin; Index < Boot.TraceEnd; Index++) {
    const TraceEntry  &E = Board.Trace.Entries ()[Index];
    if ((E.Op == "RegisterProtocolNotify") && (E.Detail.rfind (GuidName (gIpmiTransportProtocolGuid), 0) == 0)) {
      IpmiEvent = E.A;
    }

    if ((E.Op == "CloseEvent") && (E.A == IpmiEvent) && (IpmiEvent != 0)) {
      Runs++;
    }
  }

  return Runs;
}

size_t
BootListRuns (const EmulatedBoard &Board, const BootRecord &Boot)
{
  size_t  Runs = 0;

  for (size_t Index = Boot.TraceBegin; Index < Boot.TraceEnd; Index++) {
    const TraceEntry  &E = Board.Trace.Entries ()[Index];
    Runs += ((E.Op == "CloseEvent") && (E.A >= 2)) ? 1 : 0;
  }

  return Runs;
}

}  // namespace

TEST (Frame, EntryRegistersBothNotificationsAndReadyToBootAndReturnsSuccess) {
  EmulatedBoard  Board;
  BootScript     Script;

  Script.InstallIpmiTransport = false;
  Script.SignalReadyToBoot    = false;
  BootRecord  Boot = Board.Runner.RunBoot (Script);

  EXPECT_EQ (Boot.EntryStatus, EFI_SUCCESS);
  auto  Creates = Board.Trace.Select ("CreateEvent");
  ASSERT_EQ (Creates.size (), 2u);
  for (const auto &C : Creates) {
    EXPECT_EQ (C.B, EVT_NOTIFY_SIGNAL);
    EXPECT_EQ (C.A, TPL_CALLBACK);
  }

  auto  Registrations = Board.Trace.Select ("RegisterProtocolNotify");
  ASSERT_EQ (Registrations.size (), 2u);
  EXPECT_EQ (Registrations[0].Detail.rfind (GuidName (gIpmiTransportProtocolGuid), 0), 0u);
  EXPECT_EQ (Registrations[1].Detail.rfind (GuidName (gBootHookTriggerProtocolGuid), 0), 0u);
  EXPECT_EQ (Board.Trace.Count ("CreateEventEx"), 1u);
  EXPECT_EQ (Board.Events.LiveCount (), 3u);
  EXPECT_EQ (Board.Tables.AllocationCalls (), 0u);
}

TEST (Frame, IpmiTransportInstalledBeforeEntryNeverRunsTheList) {
  EmulatedBoard  Board;
  BootScript     Script;

  Script.InstallIpmiTransport = false;
  Script.BeforeEntry = [&Board]() { Board.Protocols.Install (gIpmiTransportProtocolGuid, Board.Transport.Interface ()); };
  BootRecord  Boot = Board.Runner.RunBoot (Script);

  EXPECT_EQ (IpmiReadyRuns (Board, Boot), 0u);
  EXPECT_TRUE (Board.Bmc.Requests ().empty ());
}

TEST (Frame, IpmiTransportInstalledTwiceRunsTheListOnce) {
  EmulatedBoard  Board;
  BootScript     Script;

  Script.AfterHooks = [&Board]() {
    static IPMI_TRANSPORT_PROTOCOL  Second = *Board.Transport.Interface ();
    Board.Protocols.Install (gIpmiTransportProtocolGuid, &Second);
  };
  BootRecord  Boot = Board.Runner.RunBoot (Script);

  EXPECT_EQ (Board.Protocols.Count (gIpmiTransportProtocolGuid), 2u);
  EXPECT_EQ (IpmiReadyRuns (Board, Boot), 1u);
}

TEST (Frame, ReadyToBootGroupJoinedFromUefi20On) {
  for (UINT32 Revision : { 0x0001FFFFu, 0x00020000u, 0x00020046u }) {
    EmulatedBoard  Board;
    Board.Tables.SetRevision (Revision);
    BootRecord  Boot = Board.Runner.RunBoot ();

    bool  Joins = Revision >= 0x00020000u;
    EXPECT_EQ (Board.Trace.Count ("CreateEventEx"), Joins ? 1u : 0u) << std::hex << Revision;
    EXPECT_EQ (Board.Trace.Count ("CreateEvent"), 2u) << "no substitute event below 2.0";
    EXPECT_EQ (BootListRuns (Board, Boot), Joins ? 1u : 0u) << std::hex << Revision;
  }
}

TEST (Frame, TriggerAndReadyToBootRunTheBootListTwiceAndCloseEachEvent) {
  EmulatedBoard  Board;
  BootScript     Script;

  Script.InstallTriggerProtocol = true;
  BootRecord  Boot = Board.Runner.RunBoot (Script);

  EXPECT_EQ (BootListRuns (Board, Boot), 2u);
  EXPECT_EQ (Board.Events.LiveCount (), 0u) << "every notify function closes its event";

  //
  // A closed event is not signalled again.
  //
  size_t  Before = Board.Trace.Entries ().size ();
  Board.Runner.SignalReadyToBoot ();
  static UINT8  Another;
  Board.Protocols.Install (gBootHookTriggerProtocolGuid, &Another);
  EXPECT_EQ (Board.Trace.Count ("Notify", Before), 0u);
}

TEST (Frame, EntryReturnsSuccessWhenEventServicesFail) {
  for (const char *Service : { "CreateEvent", "RegisterProtocolNotify", "CreateEventEx" }) {
    EmulatedBoard  Board;
    BootScript     Script;
    Script.BeforeEntry = [&Board, Service]() { Board.Faults.FailNext (Service, EFI_OUT_OF_RESOURCES); };
    BootRecord  Boot = Board.Runner.RunBoot (Script);

    EXPECT_EQ (Boot.EntryStatus, EFI_SUCCESS) << Service;
    if (std::string (Service) == "CreateEvent") {
      //
      // The IPMI notification was never made, so no register for it either.
      //
      EXPECT_EQ (Board.Trace.Count ("RegisterProtocolNotify"), 1u);
      EXPECT_EQ (IpmiReadyRuns (Board, Boot), 0u);
    }

    if (std::string (Service) == "RegisterProtocolNotify") {
      EXPECT_EQ (IpmiReadyRuns (Board, Boot), 0u) << "an unregistered event is never signalled";
    }

    if (std::string (Service) == "CreateEventEx") {
      EXPECT_EQ (BootListRuns (Board, Boot), 0u);
      EXPECT_EQ (IpmiReadyRuns (Board, Boot), 1u);
    }
  }
}

TEST (Frame, HobListLookupCachesAMatchAndRescansWithout) {
  EmulatedBoard  Board;
  BootScript     Script;

  Script.InstallIpmiTransport = false;
  Script.SignalReadyToBoot    = false;
  Board.Runner.RunBoot (Script);

  auto  Lookup = Board.Driver.Functions ().LookupHobList;
  EXPECT_EQ (Lookup (), nullptr);

  //
  // A HOB list that appears later is found: the empty result was not cached.
  //
  static UINT64  FirstList[2]  = { 0xFFFF0008FFFF0000ULL, 0 };
  static UINT64  SecondList[2] = { 0, 0 };
  EFI_GUID       Other = { 1, 2, 3, { 4, 5, 6, 7, 8, 9, 10, 11 } };
  Board.Tables.AddConfigurationTable (Other, SecondList);
  EXPECT_EQ (Lookup (), nullptr);
  Board.Tables.AddConfigurationTable (gEfiHobListGuid, FirstList);
  Board.Tables.AddConfigurationTable (gEfiHobListGuid, SecondList);
  EXPECT_EQ (Lookup (), FirstList) << "first match wins";

  //
  // Once found it is cached, even if the table changes.
  //
  Board.Tables.SystemTable ()->NumberOfTableEntries = 0;
  EXPECT_EQ (Lookup (), FirstList);
}

TEST (Frame, EveryBootLoadsAFreshImage) {
  EmulatedBoard  Board;

  Board.SetHobList (HobListBuilder ().End ());
  Board.Runner.RunBoot ();
  auto  Lookup = Board.Driver.Functions ().LookupHobList;
  EXPECT_EQ (Lookup (), Board.Tables.HobList ());

  //
  // Without a HOB list on the next boot, a stale cache would still answer.
  //
  Board.SetHobList (Bytes ());
  Board.Runner.RunBoot ();
  Lookup = Board.Driver.Functions ().LookupHobList;
  EXPECT_EQ (Lookup (), nullptr);
}
