/** @file
  FruSmbiosDxe and the platform's structures as they come: no enclosure, a
  lock bit beside the chassis type, an enclosure without strings, a
  structure too large to copy or too short to be one, and a string the
  protocol refuses.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruSmbiosBoard.h"

#include <cstring>

using namespace FruSmbiosTest;

TEST_F (FruSmbiosBoot, ABaseboardAddedWithoutAnEnclosureNamesNoChassis) {
  DirtyTheDriversBuffers ();
  Smbios.AddPlatform (Type1 ({ 1, 2, 3, 0, 0, 0 }, { "QEMU", "Standard PC", "pc-q35" }));
  Boot (GoodImage ());

  ASSERT_EQ (Smbios.CountOf (2), 1u);
  const Bytes  &T2 = *Smbios.First (2);
  EXPECT_EQ (T2[0x0B] | (T2[0x0C] << 8), 0xFFFF);
  EXPECT_EQ (Smbios.String (2, T2_SERIAL), "BRD-SN-000123");
  size_t  StringBytes = 0;
  for (const char *Text : { "Tavri Systems", "TVR-2S-MB", "BRD-SN-000123", "BRD-PN-77" }) {
    StringBytes += std::strlen (Text) + 1;
  }

  EXPECT_EQ (T2.size (), T2[1] + StringBytes + 1) << "the formatted area, the board's four strings, the closing zero";
}

TEST_F (FruSmbiosBoot, TheChassisLockBitStaysWhateverTheTypesLowBit) {
  for (UINT8 Platform : { 0x81, 0x01, 0x83, 0x03 }) {
    for (UINT8 Fru : { 0x16, 0x17 }) {
      EmulatedSmbios  Fresh { 2, 8 };
      Fresh.AddPlatform (Type3 (Platform, { 1, 2, 3, 4 }, { "OEM", "0.3", "CH-0", "No Asset Tag" }));
      UpdateAfterBoot (Fresh, FruTest::Image ({ {}, ChassisArea (Fru) }));
      EXPECT_EQ ((*Fresh.First (3))[T3_TYPE], (Platform & 0x80) | Fru) << "platform " << unsigned (Platform) << ", FRU " << unsigned (Fru);
    }
  }
}

TEST_F (FruSmbiosBoot, ChassisTypesAtTheEdgesOfTheDefinedRangeAreTaken) {
  for (UINT8 Fru : { 0x01, 0x03, 0x24 }) {
    EmulatedSmbios  Fresh { 2, 8 };
    Fresh.AddPlatform (Type3 (0x81, { 1, 2, 3, 4 }, { "OEM", "0.3", "CH-0", "No Asset Tag" }));
    UpdateAfterBoot (Fresh, FruTest::Image ({ {}, ChassisArea (Fru) }));
    EXPECT_EQ ((*Fresh.First (3))[T3_TYPE], 0x80 | Fru) << "FRU chassis type " << unsigned (Fru);
  }
}

TEST_F (FruSmbiosBoot, AnEnclosureWithoutStringsGetsTheChassisTypeAndStaysWellFormed) {
  DirtyTheDriversBuffers ();
  Smbios.AddPlatform (Type1 ({ 1, 0, 0, 0, 0, 0 }, { "OEM" }));
  Smbios.AddPlatform (Type3 (0x01, { 0, 0, 0, 0 }, {}));
  Boot (FruTest::Image ({ {}, FruTest::InfoArea ({ 0x17 }, { Text (""), Text ("") }), {}, {} }));

  ASSERT_NE (Smbios.First (3), nullptr);
  const Bytes  &T3 = *Smbios.First (3);
  EXPECT_EQ (T3[T3_TYPE], 0x17);
  ASSERT_EQ (T3.size (), size_t (T3[1]) + 2) << "the formatted area, then the two zeros of an empty string set";
  EXPECT_EQ (T3[T3[1]], 0);
  EXPECT_EQ (T3[T3[1] + 1], 0);
  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "OEM");
  EXPECT_FALSE (Smbios.WrittenInPlace ());

  // With one string, it stays, and the serial number's comes after it.
  EmulatedSmbios  One { 2, 8 };
  One.AddPlatform (Type3 (0x01, { 1, 0, 0, 0 }, { "OEM" }));
  UpdateAfterBoot (One, FruTest::Image ({ {}, ChassisArea () }));
  EXPECT_EQ (One.String (3, T3_MANUFACTURER), "OEM");
  EXPECT_EQ (One.String (3, T3_SERIAL), "CH-SN-0001");
  EXPECT_EQ (One.First (3)->size (), 0x16u + 4 + 11 + 1);

  // With none, the serial number's is the first string.
  EmulatedSmbios  None { 2, 8 };
  None.AddPlatform (Type3 (0x01, { 0, 0, 0, 0 }, {}));
  UpdateAfterBoot (None, FruTest::Image ({ {}, ChassisArea () }));
  EXPECT_EQ ((*None.First (3))[T3_SERIAL], 1);
  EXPECT_EQ (None.First (3)->size (), 0x16u + 11 + 1);

  // One too short to hold the chassis type and serial number is left as it is.
  Bytes  Short (5, 0);
  Short[T3_MANUFACTURER] = 1;
  EmulatedSmbios  Stub { 2, 8 };
  Stub.AddPlatform (EmulatedSmbios::Structure (3, TYPE3_HANDLE, Short, { "OEM" }));
  const Bytes  Before = *Stub.First (3);
  UpdateAfterBoot (Stub, FruTest::Image ({ {}, ChassisArea () }));
  EXPECT_EQ (*Stub.First (3), Before);
}

TEST_F (FruSmbiosBoot, AStructureTooLargeToCopyIsLeftAloneTheOthersStillChange) {
  std::vector<std::string>  Strings = { "OEM", "Box", "0.1", "To be filled", "SKU0", "Family" };
  while (Strings.size () < 40) {
    Strings.push_back (std::string (60, 'x'));
  }

  Smbios.AddPlatform (Type1 ({ 1, 2, 3, 4, 5, 6 }, Strings));
  Smbios.AddPlatform (Type3 (0x01, { 1, 2, 3, 4 }, { "OEM", "0.3", "CH-0", "No Asset Tag" }));
  Boot (GoodImage ());

  EXPECT_EQ (Outcome ()->Update.TypeStatus[1], EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "To be filled");
  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "CH-SN-0001");

  //
  // At the edges: a structure of 2048 bytes is copied, one of 2049 is not; a
  // serial number string added to one of 2035 bytes goes in, one that would
  // grow a structure to 2049 bytes does not.
  //
  const struct {
    size_t      Total;
    UINT8       Serial;     ///< string number of the serial number field
    EFI_STATUS  Status;
  } Edges[] = {
    { 2048, 4, EFI_SUCCESS }, { 2049, 4, EFI_BUFFER_TOO_SMALL }, { 2035, 0, EFI_SUCCESS }, { 2037, 0, EFI_BUFFER_TOO_SMALL }
  };

  for (const auto &E : Edges) {
    Strings.resize (6);
    size_t  Size = 0x1B + 1;
    for (const std::string &S : Strings) {
      Size += S.size () + 1;
    }

    while (Size < E.Total) {
      Strings.push_back (std::string (std::min<size_t>(E.Total - Size - 1, 60), 'x'));
      Size += Strings.back ().size () + 1;
    }

    EmulatedSmbios       Fresh { 3, 0 };
    FRU_ACCESS_PROTOCOL  Fru = ScriptedFru::Protocol (GoodImage ());
    FRU_SMBIOS_OUTCOME   Result;
    Fresh.AddPlatform (Type1 ({ 1, 2, 3, E.Serial, 5, 6 }, Strings));
    ASSERT_EQ (Fresh.First (1)->size (), E.Total);
    UpdateFunction ()(&Fru, Fresh.Protocol (), nullptr, &Result);
    EXPECT_EQ (Result.Update.TypeStatus[1], E.Status) << E.Total;
    EXPECT_EQ (Fresh.String (1, T1_SERIAL), (E.Status == EFI_SUCCESS) ? "PRD-SN-4242" : (E.Serial != 0) ? "To be filled" : "") << E.Total;
    EXPECT_EQ (Fresh.String (1, T1_FAMILY), "Family") << E.Total;
  }

  // One whose length does not cover its own header is not read at all.
  Bytes  Broken = Type1 ({ 1, 2, 3, 4, 5, 6 }, { "OEM", "Box", "0.1", "To be filled", "SKU0", "Family" });
  Broken[1] = 3;
  EmulatedSmbios       Odd { 3, 0 };
  FRU_ACCESS_PROTOCOL  Fru = ScriptedFru::Protocol (GoodImage ());
  FRU_SMBIOS_OUTCOME   Result;
  Odd.AddMalformed (Broken);
  UpdateFunction ()(&Fru, Odd.Protocol (), nullptr, &Result);
  EXPECT_EQ (Result.Update.TypeStatus[1], EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (*Odd.First (1), Broken);
}

TEST_F (FruSmbiosBoot, AStringTheProtocolRefusesIsReportedAndTheOtherFieldsStillChange) {
  PlaceholderPlatform (Smbios);
  Smbios.FailNextUpdateString (EFI_OUT_OF_RESOURCES);
  Boot (GoodImage ());

  const FRU_SMBIOS_OUTCOME  *Result = Outcome ();
  ASSERT_NE (Result, nullptr);
  EXPECT_EQ (Result->Update.TypeStatus[1], EFI_OUT_OF_RESOURCES);
  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "OEM") << "the refused string";
  EXPECT_EQ (Result->Update.Changed & 1u, 0u) << "not counted as changed";
  EXPECT_EQ (Smbios.String (1, T1_PRODUCT), "TVR Server");
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");
  EXPECT_EQ (Result->Update.TypeStatus[2], EFI_SUCCESS);
  EXPECT_EQ (Smbios.String (2, T2_SERIAL), "BRD-SN-000123");
}
