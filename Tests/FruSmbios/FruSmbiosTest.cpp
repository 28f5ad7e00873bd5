/** @file
  FruSmbiosDxe on the emulated board: the FRU's values in SMBIOS types 1, 2
  and 3 through the SMBIOS protocol, and every way the FRU device can refuse
  (an empty, bad-checksum or cut image, a bad header, the BMC busy, the FRU
  access protocol failing) leaving the platform's values.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruSmbiosBoard.h"

#include <IndustryStandard/IpmiFru.h>
#include <cstring>

using namespace FruSmbiosTest;

namespace {

///
/// The platform's strings, as StockPlatform leaves them, for "unchanged".
///
void
ExpectStockUntouched (const EmulatedSmbios &Smbios)
{
  EXPECT_EQ (Smbios.Changes (), 0u);
  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "QEMU");
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "");
  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "");
  EXPECT_EQ ((*Smbios.First (3))[T3_TYPE], 0x81);
  EXPECT_EQ (Smbios.CountOf (2), 0u);
}

}  // namespace

//
// The good image.
//

TEST_F (FruSmbiosBoot, StockTablesGetEveryFruValueThroughReplacementAndAdd) {
  StockPlatform (Smbios);
  Boot (GoodImage ());

  ASSERT_NE (Outcome (), nullptr) << "the driver acted once the FRU access protocol arrived";
  EXPECT_EQ (Outcome ()->ReadStatus, EFI_SUCCESS);
  EXPECT_EQ (EntryStatus, EFI_SUCCESS);
  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "Tavri Systems");
  EXPECT_EQ (Smbios.String (1, T1_PRODUCT), "TVR Server");
  EXPECT_EQ (Smbios.String (1, T1_VERSION), "A01");
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");
  EXPECT_EQ (Smbios.String (1, T1_SKU), "TVR-SRV-2S");
  EXPECT_EQ (Smbios.String (1, T1_FAMILY), "") << "no FRU field for it";
  EXPECT_EQ (Smbios.String (2, T2_MANUFACTURER), "Tavri Systems");
  EXPECT_EQ (Smbios.String (2, T2_PRODUCT), "TVR-2S-MB");
  EXPECT_EQ (Smbios.String (2, T2_VERSION), "BRD-PN-77");
  EXPECT_EQ (Smbios.String (2, T2_SERIAL), "BRD-SN-000123");
  EXPECT_EQ (Smbios.String (2, T2_ASSET), "");
  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "CH-SN-0001");
  EXPECT_EQ (Smbios.String (3, T3_ASSET), "ASSET-0007");
  EXPECT_EQ (Smbios.String (3, T3_MANUFACTURER), "QEMU");
  EXPECT_EQ (Smbios.String (3, T3_VERSION), "pc-q35");

  const Bytes  &T1 = *Smbios.First (1);
  const Bytes  &T2 = *Smbios.First (2);
  const Bytes  &T3 = *Smbios.First (3);
  EXPECT_EQ (T1[2] | (T1[3] << 8), TYPE1_HANDLE) << "replaced under the same handle";
  EXPECT_EQ (T3[2] | (T3[3] << 8), TYPE3_HANDLE);
  EXPECT_EQ (T1[0x18], 6) << "the formatted area is kept";
  EXPECT_EQ (T3[T3_TYPE], 0x97) << "rack mount chassis, the platform's lock bit kept";
  EXPECT_EQ (T2[1], 0x0F);
  EXPECT_EQ (T2[0x0B] | (T2[0x0C] << 8), TYPE3_HANDLE) << "the new board sits in the enclosure";
  EXPECT_EQ (T2[0x0D], 0x0A);
  EXPECT_EQ (T2[0x09], 0x01) << "hosting board";
  EXPECT_EQ (Smbios.Removes (), 2u);
  EXPECT_EQ (Smbios.Adds (), 3u);
  EXPECT_FALSE (Smbios.WrittenInPlace ());
  EXPECT_EQ (Outcome ()->Update.Changed, (1u << FRU_SMBIOS_MAP_COUNT) - 1);
  EXPECT_TRUE (Outcome ()->Update.BaseboardAdded);
}

TEST_F (FruSmbiosBoot, PlaceholdersAreUpdatedInPlaceWithUpdateStringOnly) {
  PlaceholderPlatform (Smbios);
  Boot (GoodImage ());

  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");
  EXPECT_EQ (Smbios.String (1, T1_SKU), "TVR-SRV-2S");
  EXPECT_EQ (Smbios.String (1, T1_FAMILY), "Family");
  EXPECT_EQ (Smbios.String (2, T2_SERIAL), "BRD-SN-000123");
  EXPECT_EQ (Smbios.String (2, T2_VERSION), "BRD-PN-77");
  EXPECT_EQ (Smbios.String (2, T2_ASSET), "Board Asset");
  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "CH-SN-0001");
  EXPECT_EQ (Smbios.String (3, T3_ASSET), "ASSET-0007");
  EXPECT_EQ (Smbios.String (3, T3_VERSION), "0.3");
  EXPECT_EQ ((*Smbios.First (3))[T3_TYPE], 0x17);
  EXPECT_EQ (Smbios.Updates (), 11u) << "one UpdateString per FRU string";
  EXPECT_EQ (Smbios.Removes (), 1u) << "only the chassis type byte needs a new type 3";
  EXPECT_EQ (Smbios.CountOf (2), 1u) << "no second baseboard";
  EXPECT_FALSE (Smbios.WrittenInPlace ());
}

TEST_F (FruSmbiosBoot, ValuesAlreadyThereAreNotWrittenAgain) {
  Smbios.AddPlatform (Type1 ({ 1, 2, 3, 4, 5, 0 }, { "Tavri Systems", "TVR Server", "A01", "PRD-SN-4242", "TVR-SRV-2S" }));
  Boot (FruTest::Image ({ {}, {}, {}, ProductArea () }));

  EXPECT_EQ (Smbios.Changes (), 0u);
  EXPECT_EQ (Outcome ()->Update.Changed & 0x1F, 0x1Fu);
}

TEST_F (FruSmbiosBoot, AValueDifferingInItsFirstOrLastCharacterOrItsLengthIsWritten) {
  Smbios.AddPlatform (Type1 ({ 1, 2, 3, 4, 5, 0 }, { "Xavri Systems", "TVR ServeR", "A01 ", "PRD-SN-424", "TVR-SRV-2S" }));
  Boot (FruTest::Image ({ {}, {}, {}, ProductArea () }));

  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "Tavri Systems") << "first character";
  EXPECT_EQ (Smbios.String (1, T1_PRODUCT), "TVR Server") << "last character";
  EXPECT_EQ (Smbios.String (1, T1_VERSION), "A01") << "longer";
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242") << "shorter";
  EXPECT_EQ (Smbios.Changes (), 4u) << "the SKU was already the FRU's";
}

TEST_F (FruSmbiosBoot, AStringSharedWithAnotherFieldIsSplitNotOverwritten) {
  // Family and Manufacturer point to the same string; SKU and Version too.
  Smbios.AddPlatform (Type1 ({ 1, 2, 3, 0, 3, 1 }, { "OEM", "Box", "0.1" }));
  Boot (GoodImage ());

  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "Tavri Systems");
  EXPECT_EQ (Smbios.String (1, T1_FAMILY), "OEM") << "the field the FRU does not give keeps its text";
  EXPECT_EQ (Smbios.String (1, T1_VERSION), "A01");
  EXPECT_EQ (Smbios.String (1, T1_SKU), "TVR-SRV-2S");
  EXPECT_FALSE (Smbios.WrittenInPlace ());
}

TEST_F (FruSmbiosBoot, ActsWhenTheSmbiosProtocolComesAfterTheFruAccessProtocol) {
  StockPlatform (Smbios);
  Boot (GoodImage (), true);

  ASSERT_NE (Outcome (), nullptr);
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");
  EXPECT_EQ (Smbios.String (3, T3_ASSET), "ASSET-0007");
}

TEST_F (FruSmbiosBoot, ChassisTypeUnknownOrOutOfRangeKeepsThePlatformsType) {
  for (UINT8 Type : { 0x00, 0x02, 0x25, 0x7F }) {
    EmulatedSmbios  Fresh { 2, 8 };
    Fresh.AddPlatform (Type3 (0x81, { 1, 2, 3, 4 }, { "OEM", "0.3", "CH-0", "No Asset Tag" }));
    UpdateAfterBoot (Fresh, FruTest::Image ({ {}, ChassisArea (Type) }));
    EXPECT_EQ ((*Fresh.First (3))[T3_TYPE], 0x81) << "FRU chassis type " << unsigned (Type);
    EXPECT_EQ (Fresh.String (3, T3_SERIAL), "CH-SN-0001");
  }
}

//
// Fields that must leave the platform's value.
//

TEST_F (FruSmbiosBoot, EmptyMissingAndBinaryFieldsLeaveThePlatformsStrings) {
  PlaceholderPlatform (Smbios);
  Bytes  Product = FruTest::InfoArea ({ 25 }, { Text (""), Text ("   "), FruTest::Bytes { 0x02, 0xAB, 0xCD }, Text ("A01") });
  Boot (FruTest::Image ({ {}, {}, {}, Product }));

  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "OEM") << "empty";
  EXPECT_EQ (Smbios.String (1, T1_PRODUCT), "Box") << "spaces only";
  EXPECT_EQ (Smbios.String (1, T1_SKU), "SKU0") << "binary";
  EXPECT_EQ (Smbios.String (1, T1_VERSION), "A01");
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "To be filled") << "missing from the area";
  EXPECT_EQ (Smbios.String (3, T3_ASSET), "No Asset Tag");
  EXPECT_EQ (Smbios.String (2, T2_SERIAL), "BB-0") << "no board area";
  EXPECT_EQ ((*Smbios.First (3))[T3_TYPE], 0x01) << "no chassis area";
  EXPECT_EQ (Smbios.Changes (), 1u);
}

TEST_F (FruSmbiosBoot, AnEmptyImageAddsNoBaseboard) {
  StockPlatform (Smbios);
  Boot (FruTest::Image ({}));

  EXPECT_EQ (Outcome ()->ReadStatus, EFI_SUCCESS);
  ExpectStockUntouched (Smbios);
}

TEST_F (FruSmbiosBoot, AnAreaFailingItsChecksumGivesNothingTheOthersStillDo) {
  PlaceholderPlatform (Smbios);
  Bytes  Board = BoardArea ();
  Board.back () ^= 0x01;
  Boot (FruTest::Image ({ {}, ChassisArea (), Board, ProductArea () }));

  EXPECT_EQ (Outcome ()->Update.Changed & 0x1E0, 0u);
  EXPECT_EQ (Smbios.String (2, T2_SERIAL), "BB-0");
  EXPECT_EQ (Smbios.String (2, T2_MANUFACTURER), "OEM");
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");
  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "CH-SN-0001");
}

TEST_F (FruSmbiosBoot, TooLongFieldsAreSkippedNotCut) {
  PlaceholderPlatform (Smbios);
  //
  // 6-bit ASCII "LLLL" is 2C CB B2: 48 bytes decode to 64 characters, the
  // most SMBIOS takes, 49 bytes to 65.
  //
  auto  Packed = [](size_t Size) {
    constexpr UINT8  Llll[3] = { 0x2C, 0xCB, 0xB2 };
    Bytes            Out { static_cast<UINT8>(0x80 | Size) };
    for (size_t Index = 0; Index < Size; Index++) {
      Out.push_back (Llll[Index % 3]);
    }

    return Out;
  };

  Bytes  Product = FruTest::InfoArea ({ 25 }, { Text ("Tavri Systems"), Packed (48), Packed (49), Text ("A01"), Text (std::string (63, 'X')) });
  Bytes  Chassis = FruTest::InfoArea ({ 0x17 }, { Text ("CH-PART-01"), Text (std::string (16, 0x7F) + "\\") });
  Boot (FruTest::Image ({ {}, Chassis, {}, Product }));

  EXPECT_EQ (Smbios.String (1, T1_PRODUCT), std::string (64, 'L'));
  EXPECT_EQ (Smbios.String (1, T1_SKU), "SKU0") << "65 characters of 6-bit ASCII";
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), std::string (63, 'X'));
  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "CH-0") << "18 bytes escaped to 72 characters";
  EXPECT_EQ (Smbios.String (3, T3_ASSET), "No Asset Tag");
}

//
// Images and devices that change nothing.
//

TEST_F (FruSmbiosBoot, ABadHeaderChangesNothing) {
  StockPlatform (Smbios);
  Bytes  Image = GoodImage ();
  Image[7] ^= 0x01;
  Boot (Image);

  EXPECT_EQ (Outcome ()->ReadStatus, EFI_VOLUME_CORRUPTED);
  ExpectStockUntouched (Smbios);
}

TEST_F (FruSmbiosBoot, ACutImageChangesNothing) {
  StockPlatform (Smbios);
  Bytes  Image = GoodImage ();
  Image.resize (Image.size () - 16);   // the product area runs past the device
  Boot (Image);

  EXPECT_TRUE (EFI_ERROR (Outcome ()->ReadStatus));
  ExpectStockUntouched (Smbios);
}

TEST_F (FruSmbiosBoot, TheBmcBusyPastTheRetriesChangesNothing) {
  StockPlatform (Smbios);
  Board.Bmc.QueueBusy (64, IPMI_STORAGE_READ_FRU_DATA);
  Boot (GoodImage ());

  EXPECT_EQ (Outcome ()->ReadStatus, EFI_TIMEOUT);
  ExpectStockUntouched (Smbios);
}

TEST_F (FruSmbiosBoot, TheBmcBusyForAWhileIsWaitedOut) {
  StockPlatform (Smbios);
  Boot (GoodImage ());
  ASSERT_EQ (Smbios.String (1, T1_SERIAL), "PRD-SN-4242");

  EmulatedSmbios  Again { 2, 8 };
  StockPlatform (Again);
  Board.Bmc.QueueBusy (2, IPMI_STORAGE_READ_FRU_DATA);
  FRU_SMBIOS_OUTCOME  Result;
  UpdateFunction ()(InstalledFru (), Again.Protocol (), nullptr, &Result);
  EXPECT_EQ (Result.ReadStatus, EFI_SUCCESS);
  EXPECT_EQ (Again.String (1, T1_SERIAL), "PRD-SN-4242");
}

TEST_F (FruSmbiosBoot, TheFruProtocolFailingAtAnyReadChangesNothing) {
  FRU_ACCESS_PROTOCOL  Fru    = ScriptedFru::Protocol (GoodImage ());
  auto                 Update = UpdateFunction ();
  size_t               Reads  = 0;

  for (size_t FailAt = 0; ; FailAt++) {
    for (EFI_STATUS Status : { EFI_DEVICE_ERROR, EFI_TIMEOUT, EFI_NOT_READY }) {
      EmulatedSmbios      Fresh { 2, 8 };
      FRU_SMBIOS_OUTCOME  Result;
      memset (&Result, 0xA5, sizeof (Result));    // the outcome is all written, whatever it held
      StockPlatform (Fresh);
      ScriptedFru::Reads    = 0;
      ScriptedFru::FailAt   = FailAt;
      ScriptedFru::FailWith = Status;
      Update (&Fru, Fresh.Protocol (), nullptr, &Result);
      if (FailAt == 0) {
        Reads = ScriptedFru::Reads;
        EXPECT_EQ (Result.ReadStatus, EFI_SUCCESS);
        EXPECT_EQ (Fresh.String (1, T1_SERIAL), "PRD-SN-4242");
        for (EFI_STATUS TypeStatus : Result.Update.TypeStatus) {
          EXPECT_EQ (TypeStatus, EFI_SUCCESS) << "types 0 to 3";
        }

        continue;
      }

      EXPECT_EQ (Result.ReadStatus, Status) << "read " << FailAt;
      EXPECT_EQ (Fresh.Changes (), 0u) << "read " << FailAt;
      EXPECT_EQ (Result.Update.Changed, 0u) << "read " << FailAt;
      EXPECT_EQ (Result.Update.BaseboardAdded, FALSE) << "read " << FailAt;
    }

    if ((FailAt > 0) && (FailAt >= Reads)) {
      break;
    }
  }

  EXPECT_EQ (Reads, 7u) << "the header, then each area's two bytes and the rest";
}

TEST_F (FruSmbiosBoot, ARefusedReplacementPutsTheOldStructureBack) {
  StockPlatform (Smbios);
  Smbios.FailNextAdd (EFI_OUT_OF_RESOURCES);
  Boot (GoodImage ());

  ASSERT_NE (Smbios.First (1), nullptr) << "type 1 is back";
  EXPECT_EQ ((*Smbios.First (1))[2] | ((*Smbios.First (1))[3] << 8), TYPE1_HANDLE);
  EXPECT_EQ (Smbios.String (1, T1_MANUFACTURER), "QEMU");
  EXPECT_EQ (Smbios.String (1, T1_SERIAL), "");
  EXPECT_EQ (Outcome ()->Update.TypeStatus[1], EFI_OUT_OF_RESOURCES);
  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "CH-SN-0001") << "the other types still go in";
}
