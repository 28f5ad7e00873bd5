/** @file
  TavriBaseLib on its own: the GUID-HOB walk over well-formed, malformed and
  unaligned lists, the configuration-table lookup, and number text at the
  edges of UINT64 and of the digit counts.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/TavriBaseLib.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const EFI_GUID  Wanted = { 0x353BB17B, 0x74AC, 0x4895, { 0xB4, 0x61, 0x2C, 0x8C, 0x97, 0x68, 0x30, 0xE6 } };
const EFI_GUID  Other  = { 0x353BB17B, 0x74AC, 0x4895, { 0xB4, 0x61, 0x2C, 0x8C, 0x97, 0x68, 0x30, 0xE7 } };

//
// A HOB list in a byte vector: each HOB's header, then for a GUID HOB its
// name and data. Length overrides the HobLength written, for malformed lists.
//
struct HobList {
  std::vector<UINT8>  Bytes;

  HobList &
  Add (UINT16 Type, UINT16 Length, const EFI_GUID *Name = nullptr, UINT8 Fill = 0)
  {
    size_t  At = Bytes.size ();

    Bytes.resize (At + ((Length < 8) ? 8 : Length), Fill);
    std::memcpy (&Bytes[At], &Type, 2);
    std::memcpy (&Bytes[At + 2], &Length, 2);
    if (Name != nullptr) {
      //
      // As much of the name as the HOB holds: a HOB shorter than a GUID HOB's
      // header carries only the start of one.
      //
      size_t  Room = Bytes.size () - At - 8;
      std::memcpy (&Bytes[At + 8], Name, (Room < sizeof (EFI_GUID)) ? Room : sizeof (EFI_GUID));
    }

    return *this;
  }

  HobList &
  End ()
  {
    return Add (EFI_HOB_TYPE_END_OF_HOB_LIST, 8);
  }
};

struct Found {
  EFI_STATUS   Status;
  const VOID   *Data;
  UINTN        Size;
};

Found
Walk (const VOID *List, const EFI_GUID &Name)
{
  Found  F = { 0, reinterpret_cast<const VOID *>(1), 99 };

  F.Status = TavriFindGuidHob (List, &Name, &F.Data, &F.Size);
  return F;
}

}  // namespace

TEST (GuidHobWalk, FindsTheFirstHobOfTheNamePastOthers) {
  HobList  L;

  L.Add (EFI_HOB_TYPE_HANDOFF, 56).Add (EFI_HOB_TYPE_GUID_EXTENSION, 32, &Other)
   .Add (EFI_HOB_TYPE_GUID_EXTENSION, 40, &Wanted, 0xA5).Add (EFI_HOB_TYPE_GUID_EXTENSION, 48, &Wanted).End ();
  Found  F = Walk (L.Bytes.data (), Wanted);

  EXPECT_EQ (F.Status, EFI_SUCCESS);
  EXPECT_EQ (F.Data, &L.Bytes[56 + 32 + 24]);
  EXPECT_EQ (F.Size, 16u);
}

TEST (GuidHobWalk, NotFoundAndMalformedAreTold) {
  HobList  Absent;
  Absent.Add (EFI_HOB_TYPE_GUID_EXTENSION, 32, &Other).End ();
  Found  F = Walk (Absent.Bytes.data (), Wanted);
  EXPECT_EQ (F.Status, EFI_NOT_FOUND);
  EXPECT_EQ (F.Data, nullptr);
  EXPECT_EQ (F.Size, 0u);

  EXPECT_EQ (Walk (nullptr, Wanted).Status, EFI_NOT_FOUND);

  //
  // A length below a header never moves on; one off the 8-byte grid leaves
  // the next header misaligned. Both end the walk before the wanted HOB.
  //
  for (UINT16 Length : { 0, 4, 7, 12, 33 }) {
    HobList  Bad;
    Bad.Add (EFI_HOB_TYPE_HANDOFF, 8);
    size_t  At = Bad.Bytes.size ();
    Bad.Add (EFI_HOB_TYPE_GUID_EXTENSION, 40, &Other);
    std::memcpy (&Bad.Bytes[At + 2], &Length, 2);
    Bad.Add (EFI_HOB_TYPE_GUID_EXTENSION, 32, &Wanted).End ();
    EXPECT_EQ (Walk (Bad.Bytes.data (), Wanted).Status, EFI_VOLUME_CORRUPTED) << "HobLength " << Length;
  }
}

TEST (GuidHobWalk, AGuidHobShorterThanItsHeaderIsPassedOver) {
  HobList  L;

  L.Add (EFI_HOB_TYPE_GUID_EXTENSION, 16, &Wanted).Add (EFI_HOB_TYPE_GUID_EXTENSION, 24, &Wanted).End ();
  Found  F = Walk (L.Bytes.data (), Wanted);

  EXPECT_EQ (F.Status, EFI_SUCCESS);
  EXPECT_EQ (F.Data, &L.Bytes[16 + 24]);
  EXPECT_EQ (F.Size, 0u);
}

TEST (GuidHobWalk, NamesAreComparedAtAnyAlignment) {
  alignas (8) UINT8  Bytes[sizeof (EFI_GUID) + 1];

  std::memcpy (&Bytes[1], &Wanted, sizeof (EFI_GUID));
  EXPECT_TRUE (TavriGuidEqual (&Bytes[1], &Wanted));
  Bytes[16] ^= 1;
  EXPECT_FALSE (TavriGuidEqual (&Bytes[1], &Wanted));
}

TEST (ConfigurationTable, FirstMatchingEntryOrNull) {
  UINT8                    A, B;
  EFI_CONFIGURATION_TABLE  Entries[] = { { Other, &A }, { Wanted, &B }, { Wanted, &A } };
  EFI_SYSTEM_TABLE         St = {};

  St.NumberOfTableEntries = 2;
  St.ConfigurationTable   = Entries;
  EXPECT_EQ (TavriFindConfigurationTable (&St, &Wanted), &B);
  St.NumberOfTableEntries = 1;
  EXPECT_EQ (TavriFindConfigurationTable (&St, &Wanted), nullptr);
  St.NumberOfTableEntries = 0;
  EXPECT_EQ (TavriFindConfigurationTable (&St, &Other), nullptr);
}

TEST (NumberText, DecimalAndHexAtTheEdges) {
  TAVRI_NUMBER_TEXT  T;

  EXPECT_STREQ (TavriDecimalText (0, &T), "0");
  EXPECT_STREQ (TavriDecimalText (10, &T), "10");
  EXPECT_STREQ (TavriDecimalText (~0ULL, &T), "18446744073709551615");

  EXPECT_STREQ (TavriHexText (0, 0, &T), "0");
  EXPECT_STREQ (TavriHexText (0xA, 2, &T), "0A");
  EXPECT_STREQ (TavriHexText (0xABCDEF, 2, &T), "ABCDEF");           // never cut to MinDigits
  EXPECT_STREQ (TavriHexText (0x1F, 8, &T), "0000001F");
  EXPECT_STREQ (TavriHexText (0x10, 40, &T), "0000000000000010");    // at most 16 digits
  EXPECT_STREQ (TavriHexText (~0ULL, 1, &T), "FFFFFFFFFFFFFFFF");
  EXPECT_STREQ (TavriHexText (1ULL << 60, 0, &T), "1000000000000000");
}
