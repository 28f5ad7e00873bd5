/** @file
  FruSmbiosDxe's entry point and its reads: dispatched after both protocols
  exist it acts at once; a protocol it cannot wait for fails the entry with
  no event left behind; and each read decodes only what that read found,
  one-byte fields included.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruSmbiosBoard.h"

using namespace FruSmbiosTest;

TEST_F (FruSmbiosBoot, DispatchedAfterBothProtocolsItActsAtOnceAndWaitsForNothing) {
  StockPlatform (Smbios);
  Board.Bmc.SetFruDevice (0, GoodImage ());
  Emu::BootScript  Script;
  size_t           EventsBefore = 0;
  Script.BeforeEntry = [this]() {
                         Board.Protocols.Install (gEfiSmbiosProtocolGuid, Smbios.Protocol ());
                       };
  Script.AfterHooks = [this, &EventsBefore]() {
                        ASSERT_NE (InstalledFru (), nullptr);
                        EventsBefore = Board.Events.LiveCount ();
                        StartDriver ();
                        EXPECT_EQ (Board.Events.LiveCount (), EventsBefore) << "nothing left to wait for";
                      };
  Board.Runner.RunBoot (Script);

  EXPECT_EQ (EntryStatus, EFI_SUCCESS);
  ASSERT_NE (Outcome (), nullptr);
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");
  EXPECT_EQ (Smbios.String (2, T2_SERIAL), "BRD-SN-000123");
}

TEST_F (FruSmbiosBoot, WaitingForBothProtocolsItActsOnceAndThenClosesBothNotifications) {
  FRU_ACCESS_PROTOCOL  Fru    = ScriptedFru::Protocol (GoodImage ());
  size_t               Events = Board.Events.LiveCount ();
  StockPlatform (Smbios);
  StartDriver ();
  ASSERT_EQ (EntryStatus, EFI_SUCCESS);
  EXPECT_EQ (Board.Events.LiveCount (), Events + 2) << "one notification for each protocol";

  Board.Protocols.Install (gFruAccessProtocolGuid, &Fru);
  EXPECT_EQ (Outcome (), nullptr) << "nothing done with the SMBIOS protocol missing";
  Board.Protocols.Install (gEfiSmbiosProtocolGuid, Smbios.Protocol ());
  ASSERT_NE (Outcome (), nullptr);
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");
  EXPECT_EQ (Board.Events.LiveCount (), Events) << "both notifications closed once it has acted";
  EXPECT_EQ (ScriptedFru::Reads, 7u) << "FRU device 0 read once";
}

TEST_F (FruSmbiosBoot, AProtocolItCannotWaitForFailsTheEntryAndLeavesNoEvent) {
  //
  // Neither protocol is there: the entry makes an event and registers it for
  // each. Fail each of those four calls in turn.
  //
  struct Case {
    const char  *Service;
    unsigned    Pass;       ///< calls of that service that succeed first
  };
  Board.Faults.LogCalls (true);
  for (const Case &C : { Case { "CreateEvent", 0 }, Case { "RegisterProtocolNotify", 0 }, Case { "CreateEvent", 1 }, Case { "RegisterProtocolNotify", 1 } }) {
    //
    // Find the call to fail from a run of the same entry that fails nothing.
    //
    Driver.Load ();
    size_t  LogStart = Board.Faults.CallLog ().size ();
    StartDriver ();
    ASSERT_EQ (EntryStatus, EFI_SUCCESS);
    UINT64    Nth  = 0;
    unsigned  Seen = 0;
    for (size_t Index = LogStart; Index < Board.Faults.CallLog ().size (); Index++) {
      if ((std::string (Board.Faults.CallLog ()[Index]) == C.Service) && (Seen++ == C.Pass)) {
        Nth = Index - LogStart + 1;
        break;
      }
    }

    ASSERT_NE (Nth, 0u) << C.Service << " is called " << C.Pass + 1 << " times";

    Driver.Load ();
    size_t  Events = Board.Events.LiveCount ();
    Board.Faults.FailCall (Nth, EFI_OUT_OF_RESOURCES);
    StartDriver ();
    EXPECT_EQ (EntryStatus, EFI_OUT_OF_RESOURCES) << C.Service << " #" << C.Pass + 1;
    EXPECT_EQ (Board.Events.LiveCount (), Events) << C.Service << " #" << C.Pass + 1 << ": an event left open";
  }
}

TEST_F (FruSmbiosBoot, EachReadTakesOnlyWhatItFoundOneByteFieldsIncluded) {
  FRU_ACCESS_PROTOCOL  Fru    = ScriptedFru::Protocol (GoodImage ());
  auto                 Update = UpdateFunction ();
  FRU_SMBIOS_OUTCOME   Result;

  EmulatedSmbios  First { 2, 8 };
  PlaceholderPlatform (First);
  Update (&Fru, First.Protocol (), nullptr, &Result);
  ASSERT_EQ (First.String (1, T1_SERIAL), "PRD-SN-4242");

  //
  // A second image whose product area has a one-byte field (BCD plus: a
  // one-byte text field would be the end marker 0xC1) and no serial number:
  // the first image's serial must not come back.
  //
  ScriptedFru::Image = FruTest::Image ({ {}, {}, {}, FruTest::InfoArea ({ 25 }, { Text ("Tavri"), Text ("TVR Lite"), FruTest::Bytes { 0x41, 0x12 }, Text ("V2") }) });
  EmulatedSmbios  Second { 2, 8 };
  PlaceholderPlatform (Second);
  ScriptedFru::Reads = 0;
  ScriptedFru::Log.clear ();
  Update (&Fru, Second.Protocol (), nullptr, &Result);
  EXPECT_EQ (Result.ReadStatus, EFI_SUCCESS);
  EXPECT_EQ (ScriptedFru::Log, (std::vector<std::pair<UINT16, UINTN>> { { 0, 8 }, { 8, 2 }, { 10, ScriptedFru::Image[9] * 8u - 2 } }))
    << "the header, then the one area it names: its two bytes and the rest";
  EXPECT_EQ (Second.String (1, T1_MANUFACTURER), "Tavri");
  EXPECT_EQ (Second.String (1, T1_PRODUCT), "TVR Lite");
  EXPECT_EQ (Second.String (1, T1_SKU), "12") << "a one-byte field";
  EXPECT_EQ (Second.String (1, T1_VERSION), "V2");
  EXPECT_EQ (Second.String (1, T1_SERIAL), "To be filled");
  EXPECT_EQ (Second.String (2, T2_SERIAL), "BB-0") << "no board area this time";
  EXPECT_EQ (Second.String (3, T3_SERIAL), "CH-0") << "no chassis area this time";
  EXPECT_EQ ((*Second.First (3))[T3_TYPE], 0x01) << "nor a chassis type";
}
