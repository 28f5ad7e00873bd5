/** @file
  The FRU format library at its edges: the bound each error reports, images
  cut just after an area's first bytes, every date of the format's range
  against the C library's calendar, and the encodings set chooses at the
  edges of 6-bit ASCII, BCD plus and hex.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruTestImages.h"

#include <cstdio>
#include <ctime>

using namespace FruTest;

namespace {

TEST (FruErrors, EachErrorReportsTheBoundItCrossed) {
  Bytes   Good     = FullImage ();
  size_t  BoardAt  = Good[3] * 8u;
  size_t  BoardSum = BoardAt + Good[BoardAt + 1] * 8u - 1;
  size_t  Multi    = Good[5] * 8u;

  struct Case { const char *What; size_t At; UINT8 Value; FRU_STATUS Status; size_t Offset; UINT32 Limit; };
  Bytes  Language = Good;
  Language[BoardAt + 2]++;
  UINT8  BoardNeeds = static_cast<UINT8>(0x100 - Sum (Language, BoardAt, BoardSum - BoardAt));
  for (const Case &C : std::vector<Case> {
         { "header version: the version wanted", 0, 2, FruErrVersion, 0, 1 },
         { "board language: the checksum the area would need", BoardAt + 2, static_cast<UINT8>(Good[BoardAt + 2] + 1), FruErrChecksum, BoardSum, BoardNeeds },
         { "header checksum: the byte that would be right", 7, 0, FruErrChecksum, 7, Good[7] },
         { "board checksum: the byte that would be right", BoardSum, 0, FruErrChecksum, BoardSum, Good[BoardSum] },
         { "board length 0", BoardAt + 1, 0, FruErrAreaLength, BoardAt + 1, 0 },
         { "record header checksum: the byte that would be right", Multi + 4, 0, FruErrRecordHeaderChecksum, Multi + 4, Good[Multi + 4] },
       })
  {
    Bytes  Bad = Good;
    Bad[C.At] = C.Value;
    FRU_ERROR  Error = FirstError (Bad);
    EXPECT_EQ (Error.Status, C.Status) << C.What;
    EXPECT_EQ (Error.Offset, C.Offset) << C.What;
    EXPECT_EQ (Error.Limit, C.Limit) << C.What;
  }

  // A changed record data byte: the record checksum the new data would need.
  Bytes  Bad = Good;
  Bad[Multi + 5] = 0xEE;
  FRU_ERROR  Error = FirstError (Bad);
  EXPECT_EQ (Error.Status, FruErrRecordChecksum);
  EXPECT_EQ (Error.Limit, static_cast<UINT8>(0x100 - Sum (Bad, Multi + 5, Bad[Multi + 2])));

  // A custom field beyond the next free one: how many custom fields there are.
  Bytes  Data = Image ({ {}, InfoArea ({ 23 }, { Text ("PN"), Text ("SN"), Text ("C1") }) }, 128);
  EXPECT_EQ (Set (Data, "chassis.custom3", "C3", &Error), FruErrFieldMissing);
  EXPECT_EQ (Error.Limit, 1u);
}

TEST (FruErrors, ImagesCutJustAfterAnAreaStarts) {
  // The board area last, cut after its version byte, then after its length.
  Bytes   Whole   = Image ({ {}, {}, Board () });
  size_t  BoardAt = Whole[3] * 8u;
  Bytes   One (Whole.begin (), Whole.begin () + static_cast<long>(BoardAt + 1));
  FRU_ERROR  Error = FirstError (One);
  EXPECT_EQ (Error.Status, FruErrTruncated);
  EXPECT_EQ (Error.Area, FruAreaBoard);
  EXPECT_EQ (Error.Offset, BoardAt + 1);
  EXPECT_EQ (Error.Limit, BoardAt + 1);
  EXPECT_EQ (FruNeededSize (One.data (), One.size ()), BoardAt + 2);

  Bytes  Two (Whole.begin (), Whole.begin () + static_cast<long>(BoardAt + 2));
  EXPECT_EQ (FruNeededSize (Two.data (), Two.size ()), BoardAt + Whole[BoardAt + 1] * 8u);
  Error = FirstError (Two);
  EXPECT_EQ (Error.Status, FruErrTruncated);
  EXPECT_EQ (Error.Offset, BoardAt + Whole[BoardAt + 1] * 8u);

  // The record list cut inside a record header, then inside its data.
  Bytes   Good  = FullImage ();
  size_t  Multi = Good[5] * 8u;
  Error = FirstError (Bytes (Good.begin (), Good.begin () + static_cast<long>(Multi + 3)));
  EXPECT_EQ (Error.Status, FruErrTruncated);
  EXPECT_EQ (Error.Area, FruAreaMultiRecord);
  EXPECT_EQ (Error.Offset, Multi + 5);
  EXPECT_EQ (Error.Limit, Multi + 3);
  Error = FirstError (Bytes (Good.begin (), Good.begin () + static_cast<long>(Multi + 15)));
  EXPECT_EQ (Error.Status, FruErrTruncated);
  EXPECT_EQ (Error.Offset, Multi + 5 + Good[Multi + 2]);
  EXPECT_EQ (Error.Limit, Multi + 15);

  // print names both cuts with their offsets, and shows no data past the end.
  auto  Hex = [](size_t Value) { char Text[16]; std::snprintf (Text, sizeof (Text), "0x%04zX", Value); return std::string (Text); };
  Captured  Out = Print (Bytes (Good.begin (), Good.begin () + static_cast<long>(Multi + 3)));
  EXPECT_TRUE (Out.Has ("multirecord.1: the record header at " + Hex (Multi) + " runs past the area's end at " + Hex (Multi + 3)));
  Out = Print (Bytes (Good.begin (), Good.begin () + static_cast<long>(Multi + 25)));
  EXPECT_TRUE (Out.Has ("multirecord.1: power supply, format 2, 24 bytes, runs past the area's end at " + Hex (Multi + 25)));
  EXPECT_FALSE (Out.Has ("multirecord.1.capacity: 1799 W"));
}

TEST (FruDates, EveryDayOfTheRangeAsTheCLibraryCountsIt) {
  constexpr time_t  Epoch1996 = 820454400;     // 1996-01-01 00:00 UTC
  FRU_LINE          Line;
  UINT32            Minutes;
  char              Expected[32];

  for (UINT32 Day = 0; Day * 1440u + 754 <= 0xFFFFFFu; Day++) {
    UINT32  Value = Day * 1440 + 754;        // 12:34 each day
    time_t  At    = Epoch1996 + static_cast<time_t>(Value) * 60;
    struct tm  Civil;
    ASSERT_NE (gmtime_r (&At, &Civil), nullptr);
    std::strftime (Expected, sizeof (Expected), "%Y-%m-%d %H:%M", &Civil);

    FruLineReset (&Line);
    FruLineAddDate (&Line, Value);
    ASSERT_STREQ (Line.Text, Expected) << "day " << Day;
    ASSERT_TRUE (FruParseDate (Expected, &Minutes)) << Expected;
    ASSERT_EQ (Minutes, Value) << Expected;
  }

  ASSERT_TRUE (FruParseDate ("2024-12-31 23:59", &Minutes));
  ASSERT_TRUE (FruParseDate ("1996-01-01 00:00", &Minutes));
  EXPECT_EQ (Minutes, 0u);
  for (const char *Bad : { "2024-12-32 00:00", "2024-01-00 00:00", "2024-00-10 00:00", "2024-13-01 00:00",
                           "2024-04-31 00:00", "2024-01-01 00:60" }) {
    EXPECT_FALSE (FruParseDate (Bad, &Minutes)) << Bad;
  }
}

TEST (FruSet, EncodingsAtTheEdgesOfEachCharacterSet) {
  Bytes  SixBit { 0x83, 0xA1, 0x38, 0x92 };   // "ABCD"
  Bytes  Area = InfoArea ({ 23 }, { SixBit, Bytes { 0x42, 0x12, 0x34 }, SixBit, SixBit, Bytes { 0x42, 0x12, 0x34 } });
  Bytes  Data = Image ({ {}, Area }, 512);
  std::string  Hex63 = "0x";
  for (int Index = 0; Index < 63; Index++) {
    Hex63 += "A0";
  }

  ASSERT_EQ (Set (Data, "chassis.part", " _"), FruOk);        // 0x20 and 0x5F: stays 6-bit
  ASSERT_EQ (Set (Data, "chassis.serial", "12-"), FruOk);     // odd length: not BCD plus
  ASSERT_EQ (Set (Data, "chassis.custom1", "A`"), FruOk);     // 0x60: no longer 6-bit
  ASSERT_EQ (Set (Data, "chassis.custom2", "A\x1F"), FruOk);   // 0x1F: no longer 6-bit
  ASSERT_EQ (Set (Data, "chassis.custom3", "0120"), FruOk);     // digits 0: still BCD plus
  ASSERT_EQ (Set (Data, "chassis.custom4", "0xaF09A0"), FruOk);
  ASSERT_EQ (Set (Data, "chassis.custom5", "0xAG"), FruOk);     // not hex: text
  ASSERT_EQ (Set (Data, "chassis.custom6", Hex63.c_str ()), FruOk);
  EXPECT_EQ (FieldTypes (Data, FruAreaChassis),
             (std::vector<UINT8> { FRU_TYPE_6BIT, FRU_TYPE_8BIT, FRU_TYPE_8BIT, FRU_TYPE_8BIT, FRU_TYPE_BCD_PLUS,
                                   FRU_TYPE_BINARY, FRU_TYPE_8BIT, FRU_TYPE_BINARY }));

  Captured  Out = Print (Data);
  EXPECT_TRUE (Out.Has ("chassis.part:  _"));
  EXPECT_TRUE (Out.Has ("chassis.serial: 12-"));
  EXPECT_TRUE (Out.Has ("chassis.custom1: A`"));
  EXPECT_TRUE (Out.Has ("chassis.custom2: A\\x1F"));
  EXPECT_TRUE (Out.Has ("chassis.custom3: 0120"));
  EXPECT_TRUE (Out.Has ("chassis.custom4: 0xAF09A0"));
  EXPECT_TRUE (Out.Has ("chassis.custom5: 0xAG"));
  EXPECT_TRUE (Out.Has ("chassis.custom6: " + Hex63));

  FRU_LINE  Line;
  FruLineReset (&Line);
  FruLineAddChassisType (&Line, 36);
  EXPECT_STREQ (Line.Text, "36 (Stick PC)");
  FruLineReset (&Line);
  FruLineAddChassisType (&Line, 37);
  EXPECT_STREQ (Line.Text, "37");
}

}  // namespace
