/** @file
  The FRU format library: decoding of every encoding, the error each kind of
  damage gives (area and byte offset), the size a device read must reach,
  and setting a field (re-laid area, checksums, refusals).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruTestImages.h"

using namespace FruTest;

namespace {

TEST (FruDecode, PrintsEveryFieldOfEveryAreaByName) {
  UINTN     Errors;
  Captured  Out = Print (FullImage (), &Errors);

  EXPECT_EQ (Errors, 0u);
  EXPECT_EQ (Out.Lines, (std::vector<std::string> {
    "internal.size: 7", "internal.data: 09090900000000",
    "chassis.type: 23 (Rack Mount Chassis)", "chassis.part: CH-PART", "chassis.serial: CH-SN",
    "board.mfg_date: 2001-12-30 05:36", "board.manufacturer: Tavri", "board.name: TVR-MB", "board.serial: SN-1",
    "board.part: PN-1", "board.file_id: fid",
    "product.manufacturer: Tavri", "product.name: Srv", "product.part: P1", "product.version: A1",
    "product.serial: PSN", "product.asset: AT", "product.file_id: ",
    "multirecord.1: power supply, format 2, 24 bytes, checksum ok", "multirecord.1.type: 0x00",
    "multirecord.1.data: 070707070707070707070707070707070707070707070707",
    "multirecord.1.capacity: 1799 W", "multirecord.1.peak_va: 1799 VA", "multirecord.1.inrush_current: 7 A",
    "multirecord.1.inrush_interval: 7 ms", "multirecord.1.input_low_1: 17990 mV", "multirecord.1.input_high_1: 17990 mV",
    "multirecord.1.input_low_2: 17990 mV", "multirecord.1.input_high_2: 17990 mV", "multirecord.1.frequency_low: 7 Hz",
    "multirecord.1.frequency_high: 7 Hz", "multirecord.1.dropout_tolerance: 7 ms", "multirecord.1.flags: 0x07",
    "multirecord.1.peak_wattage: 1799 W", "multirecord.1.holdup_time: 0 s", "multirecord.1.combined_wattage: 1799 W",
    "multirecord.1.tach_threshold: 7 RPS",
    "multirecord.2: OEM, format 2, 3 bytes, checksum ok, end of list", "multirecord.2.type: 0xC0",
    "multirecord.2.data: 010203", "multirecord.2.manufacturer_id: 197121" }));
}

TEST (FruDecode, RecordsShowTheirChecksumStateEvenInABadArea) {
  Bytes  Good  = FullImage ();
  size_t Multi = Good[5] * 8u;

  // The first record's data damaged: both records listed, the first bad,
  // and no decoded values are shown for it.
  Bytes  Bad = Good;
  Bad[Multi + 5] ^= 0x40;
  UINTN     Errors;
  Captured  Out = Print (Bad, &Errors);
  EXPECT_EQ (Errors, 1u);
  EXPECT_TRUE (Out.Has ("multirecord.1: power supply, format 2, 24 bytes, checksum bad"));
  EXPECT_FALSE (Out.Has ("multirecord.1.capacity: 1799 W"));
  EXPECT_TRUE (Out.Has ("multirecord.2: OEM, format 2, 3 bytes, checksum ok, end of list"));

  // A record header damaged: the list stops there.
  Bad = Good;
  Bad[Multi + 24 + 5 + 2] ^= 0x01;
  Out = Print (Bad, &Errors);
  EXPECT_TRUE (Out.Has ("multirecord.2: OEM, format 2, 2 bytes, header checksum bad: the list cannot be followed, end of list"));
  EXPECT_FALSE (Out.Has ("multirecord.2.data: 010203"));

  // Each defined type decoded, every value from bytes of its own; one of a
  // layout's length or too short for it says so.
  Bytes  Power { 0x34, 0xF2, 0x10, 0x27, 0x28, 0x05, 0x2C, 0x01, 0x58, 0x02, 0x84, 0x03,
                 0xB0, 0x04, 0x2F, 0x3F, 0x14, 0x1B, 0x20, 0x53, 0x12, 0xE8, 0x03, 0x0A };
  Bytes  Dc { 0x81, 0xB0, 0x04, 0xC4, 0xFF, 0x3C, 0x00, 0x78, 0x00, 0x01, 0x00, 0x20, 0x4E };
  Bytes  Load { 0x72, 0x50, 0xFB, 0x14, 0xFB, 0x8C, 0xFB, 0x32, 0x00, 0x64, 0x00, 0xB8, 0x0B };
  Bytes  Compat { 0x57, 0x01, 0x00, 0x0A, 0x01, 0x10, 0xFF };
  Bytes  List;
  for (const Bytes &R : { Record (0x00, Power, false), Record (0x01, Dc, false), Record (0x01, { 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }, false),
                          Record (0x02, Load, false), Record (0x03, { 0x02, 'h', 'o', 's', 't' }, false),
                          Record (0x03, { 0x01, 0x1F, ' ', '~', 0x7F, '\\' }, false), Record (0x03, { 0x07, 0x01, 0xAB }, false),
                          Record (0x03, { 0x08, 'x' }, false), Record (0x03, { 0x00 }, false), Record (0x03, {}, false),
                          Record (0x05, Compat, false), Record (0x04, { 1, 2, 3, 4, 5, 6 }, false), Record (0x00, Bytes (5, 0), false),
                          Record (0x02, Bytes (14, 0), false), Record (0x06, { 1 }, false), Record (0x07, {}, false),
                          Record (0xFF, { 1, 0, 0x80 }, false), Record (0xC5, { 1, 2 }, false), Record (0xBF, { 0xAB }, true) })
  {
    List.insert (List.end (), R.begin (), R.end ());
  }

  Out = Print (Image ({ {}, {}, {}, {}, List }), &Errors);
  EXPECT_EQ (Errors, 0u);
  EXPECT_EQ (Out.Lines, (std::vector<std::string> {
    "multirecord.1: power supply, format 2, 24 bytes, checksum ok", "multirecord.1.type: 0x00",
    "multirecord.1.data: 34F2102728052C0158028403B0042F3F141B205312E8030A", "multirecord.1.capacity: 564 W",
    "multirecord.1.peak_va: 10000 VA", "multirecord.1.inrush_current: 40 A", "multirecord.1.inrush_interval: 5 ms",
    "multirecord.1.input_low_1: 3000 mV", "multirecord.1.input_high_1: 6000 mV", "multirecord.1.input_low_2: 9000 mV",
    "multirecord.1.input_high_2: 12000 mV", "multirecord.1.frequency_low: 47 Hz",
    "multirecord.1.frequency_high: 63 Hz", "multirecord.1.dropout_tolerance: 20 ms", "multirecord.1.flags: 0x1B",
    "multirecord.1.peak_wattage: 800 W", "multirecord.1.holdup_time: 5 s", "multirecord.1.combined_wattage: 1000 W",
    "multirecord.1.tach_threshold: 10 RPS", "multirecord.2: DC output, format 2, 13 bytes, checksum ok",
    "multirecord.2.type: 0x01", "multirecord.2.data: 81B004C4FF3C0078000100204E", "multirecord.2.output: 1",
    "multirecord.2.standby: yes", "multirecord.2.nominal_voltage: 12000 mV",
    "multirecord.2.negative_deviation: -600 mV", "multirecord.2.positive_deviation: 600 mV",
    "multirecord.2.ripple: 120 mV", "multirecord.2.current_min: 1 mA", "multirecord.2.current_max: 20000 mA",
    "multirecord.3: DC output, format 2, 13 bytes, checksum ok", "multirecord.3.type: 0x01",
    "multirecord.3.data: 03000000000000000000000000", "multirecord.3.output: 3", "multirecord.3.standby: no",
    "multirecord.3.nominal_voltage: 0 mV", "multirecord.3.negative_deviation: 0 mV",
    "multirecord.3.positive_deviation: 0 mV", "multirecord.3.ripple: 0 mV", "multirecord.3.current_min: 0 mA",
    "multirecord.3.current_max: 0 mA", "multirecord.4: DC load, format 2, 13 bytes, checksum ok",
    "multirecord.4.type: 0x02", "multirecord.4.data: 7250FB14FB8CFB32006400B80B", "multirecord.4.output: 2",
    "multirecord.4.nominal_voltage: -12000 mV", "multirecord.4.voltage_min: -12600 mV",
    "multirecord.4.voltage_max: -11400 mV", "multirecord.4.ripple: 50 mV", "multirecord.4.current_min: 100 mA",
    "multirecord.4.current_max: 3000 mA", "multirecord.5: management access, format 2, 5 bytes, checksum ok",
    "multirecord.5.type: 0x03", "multirecord.5.data: 02686F7374", "multirecord.5.access: system name: host",
    "multirecord.6: management access, format 2, 6 bytes, checksum ok", "multirecord.6.type: 0x03",
    "multirecord.6.data: 011F207E7F5C", "multirecord.6.access: system management URL: \\x1F ~\\x7F\\x5C",
    "multirecord.7: management access, format 2, 3 bytes, checksum ok", "multirecord.7.type: 0x03",
    "multirecord.7.data: 0701AB", "multirecord.7.access: system unique ID: 01AB",
    "multirecord.8: management access, format 2, 2 bytes, checksum ok", "multirecord.8.type: 0x03",
    "multirecord.8.data: 0878", "multirecord.8.access: sub-type 0x08: x",
    "multirecord.9: management access, format 2, 1 bytes, checksum ok", "multirecord.9.type: 0x03",
    "multirecord.9.data: 00", "multirecord.9.access: sub-type 0x00: ",
    "multirecord.10: management access, format 2, 0 bytes, checksum ok", "multirecord.10.type: 0x03",
    "multirecord.10.data: ", "multirecord.10.decoded: too short for a management access record (0 of 1 bytes)",
    "multirecord.11: extended compatibility, format 2, 7 bytes, checksum ok", "multirecord.11.type: 0x05",
    "multirecord.11.data: 5701000A0110FF", "multirecord.11.manufacturer_id: 343", "multirecord.11.entity_id: 0x0A",
    "multirecord.11.compatibility_base: 0x01", "multirecord.11.code_start: 0x10", "multirecord.11.code_mask: FF",
    "multirecord.12: base compatibility, format 2, 6 bytes, checksum ok", "multirecord.12.type: 0x04",
    "multirecord.12.data: 010203040506", "multirecord.12.manufacturer_id: 197121", "multirecord.12.entity_id: 0x04",
    "multirecord.12.compatibility_base: 0x05", "multirecord.12.code_start: 0x06", "multirecord.12.code_mask: ",
    "multirecord.13: power supply, format 2, 5 bytes, checksum ok", "multirecord.13.type: 0x00",
    "multirecord.13.data: 0000000000", "multirecord.13.decoded: too short for a power supply record (5 of 24 bytes)",
    "multirecord.14: DC load, format 2, 14 bytes, checksum ok", "multirecord.14.type: 0x02",
    "multirecord.14.data: 0000000000000000000000000000",
    "multirecord.14.decoded: not the length of a DC load record (14 of 13 bytes)",
    "multirecord.15: ASF fixed SMBus device, format 2, 1 bytes, checksum ok", "multirecord.15.type: 0x06",
    "multirecord.15.data: 01", "multirecord.16: ASF legacy-device alerts, format 2, 0 bytes, checksum ok",
    "multirecord.16.type: 0x07", "multirecord.16.data: ", "multirecord.17: OEM, format 2, 3 bytes, checksum ok",
    "multirecord.17.type: 0xFF", "multirecord.17.data: 010080", "multirecord.17.manufacturer_id: 8388609",
    "multirecord.18: OEM, format 2, 2 bytes, checksum ok", "multirecord.18.type: 0xC5", "multirecord.18.data: 0102",
    "multirecord.18.decoded: too short for a OEM record (2 of 3 bytes)",
    "multirecord.19: unassigned type, format 2, 1 bytes, checksum ok, end of list", "multirecord.19.type: 0xBF",
    "multirecord.19.data: AB" }));
}

TEST (FruDecode, EveryEncodingAndCustomFields) {
  Bytes  SixBit { 0x83, 0xA1, 0x38, 0x92 };           // "ABCD": 0x21 | 0x22 << 6 | 0x23 << 12 | 0x24 << 18
  Bytes  Bcd { 0x43, 0x12, 0xB3, 0x4C };              // "12-34." two digits a byte
  Bytes  Binary { 0x03, 0x00, 0xAB, 0xFF };
  Bytes  Latin { 0xC4, 'C', 'a', 'f', 0xE9 };
  Bytes  Area = InfoArea ({ 1 }, { SixBit, Bcd, Binary, Latin, Text ("a\\b"), Bytes { 0x00 } });
  Captured  Out = Print (Image ({ {}, Area }));

  EXPECT_TRUE (Out.Has ("chassis.type: 1 (Other)"));
  EXPECT_TRUE (Out.Has ("chassis.part: ABCD"));
  EXPECT_TRUE (Out.Has ("chassis.serial: 12-34."));
  EXPECT_TRUE (Out.Has ("chassis.custom1: 0x00ABFF"));
  EXPECT_TRUE (Out.Has ("chassis.custom2: Caf\\xE9"));
  EXPECT_TRUE (Out.Has ("chassis.custom3: a\\x5Cb"));
  EXPECT_TRUE (Out.Has ("chassis.custom4: "));
}

TEST (FruDecode, DatesAndChassisTypesAtTheirEdges) {
  FRU_LINE  Line;
  UINT32    Minutes;

  for (auto [Value, Expected] : std::vector<std::pair<UINT32, std::string>> {
         { 0, "unspecified" }, { 1, "1996-01-01 00:01" }, { 0xFFFFFF, "2027-11-24 20:15" },
         { (366 + 365 + 59) * 1440, "1998-03-01 00:00" } })
  {
    FruLineReset (&Line);
    FruLineAddDate (&Line, Value);
    EXPECT_EQ (std::string (Line.Text), Expected);
    ASSERT_TRUE (FruParseDate (Line.Text, &Minutes)) << Expected;
    EXPECT_EQ (Minutes, Value);
  }

  ASSERT_TRUE (FruParseDate ("2024-02-29 23:59", &Minutes));
  FruLineReset (&Line);
  FruLineAddDate (&Line, Minutes);
  EXPECT_STREQ (Line.Text, "2024-02-29 23:59");
  for (const char *Bad : { "2023-02-29 00:00", "1995-12-31 23:59", "2027-11-24 20:16", "2024-1-01 00:00", "2024-01-01 24:00", "2024-01-01 00:00x" }) {
    EXPECT_FALSE (FruParseDate (Bad, &Minutes)) << Bad;
  }

  FruLineReset (&Line);
  FruLineAddChassisType (&Line, 200);
  EXPECT_STREQ (Line.Text, "200");
}

TEST (FruNames, EveryListedNameAndCustomFields) {
  FRU_NAME  Name;
  FRU_LINE  Line;

  for (const char *Text : { "chassis.part", "chassis.serial", "board.manufacturer", "board.name", "board.serial",
                            "board.part", "board.file_id", "product.manufacturer", "product.name", "product.part",
                            "product.version", "product.serial", "product.asset", "product.file_id",
                            "chassis.custom1", "board.custom12", "product.custom3" })
  {
    ASSERT_TRUE (FruParseName (Text, &Name)) << Text;
    FruLineReset (&Line);
    FruLineAddFieldName (&Line, Name.Area, Name.Index);
    EXPECT_STREQ (Line.Text, Text);
  }

  ASSERT_TRUE (FruParseName ("board.mfg_date", &Name));
  EXPECT_EQ (Name.Kind, FruNameMfgDate);
  ASSERT_TRUE (FruParseName ("chassis.type", &Name));
  EXPECT_EQ (Name.Kind, FruNameChassisType);
  for (const char *Bad : { "board", "board.", "board.custom0", "board.custom", "board.custom01", "chassis.name",
                           "product.mfg_date", "boards.serial", "board.serialx", "internal.size", "" }) {
    EXPECT_FALSE (FruParseName (Bad, &Name)) << Bad;
  }
}

TEST (FruErrors, EachDamageNamesItsAreaAndOffset) {
  Bytes  Good = FullImage ();
  size_t  BoardAt = Good[3] * 8;
  size_t  Multi = Good[5] * 8;

  struct Case { const char *What; size_t At; UINT8 Value; FRU_STATUS Status; FRU_AREA Area; UINT32 Offset; };
  for (const Case &C : std::vector<Case> {
         { "header version", 0, 2, FruErrVersion, FruAreaHeader, 0 },
         { "header checksum", 7, 0, FruErrChecksum, FruAreaHeader, 7 },
         { "board checksum", BoardAt + Good[BoardAt + 1] * 8u - 1, 0, FruErrChecksum, FruAreaBoard, static_cast<UINT32>(BoardAt + Good[BoardAt + 1] * 8 - 1) },
         { "board version", BoardAt, 2, FruErrVersion, FruAreaBoard, static_cast<UINT32>(BoardAt) },
         { "record header checksum", Multi + 4, 0, FruErrRecordHeaderChecksum, FruAreaMultiRecord, static_cast<UINT32>(Multi + 4) },
         { "record data", Multi + 5, 0xEE, FruErrRecordChecksum, FruAreaMultiRecord, static_cast<UINT32>(Multi + 3) },
       })
  {
    Bytes  Bad = Good;
    Bad[C.At] = C.Value;
    FRU_ERROR  Error = FirstError (Bad);
    EXPECT_EQ (Error.Status, C.Status) << C.What;
    EXPECT_EQ (Error.Area, C.Area) << C.What;
    EXPECT_EQ (Error.Offset, C.Offset) << C.What;
    UINTN  Errors;
    Captured  Out = Print (Bad, &Errors);
    EXPECT_EQ (Errors, 1u) << C.What;
  }

  // A field whose length runs into the checksum byte, with the checksum kept good.
  Bytes  Long = InfoArea ({ 23 }, { Text ("AB") });
  Long[3] = 0xC9;
  Long.back () = static_cast<UINT8>(Long.back () - 7);
  FRU_ERROR  Error = FirstError (Image ({ {}, Long }));
  EXPECT_EQ (Error.Status, FruErrFieldPastArea);
  EXPECT_EQ (Error.Offset, 8u + 3);

  // No 0xC1 before the checksum byte.
  Bytes  Open = InfoArea ({ 23 }, {});
  Open[3] = 0x00;
  Open.back () = static_cast<UINT8>(Open.back () + 0xC1);
  EXPECT_EQ (FirstError (Image ({ {}, Open })).Status, FruErrNoEndMarker);

  // A chassis area whose length reaches into the board area that follows.
  Bytes  Overlap = Image ({ {}, Chassis (), Board () });
  Overlap[9] = static_cast<UINT8>(Overlap[9] + 1);
  Overlap[8 + Overlap[9] * 8 - 1] = 0;
  Error = FirstError (Overlap);
  EXPECT_EQ (Error.Status, FruErrOverlap);
  EXPECT_EQ (Error.Area, FruAreaChassis);
  EXPECT_EQ (Error.Limit, Overlap[3] * 8u);

  FRU_LINE  Line;
  Bytes     Broken = Good;
  Broken[BoardAt + Good[BoardAt + 1] * 8 - 1] ^= 1;
  FruLineReset (&Line);
  Error = FirstError (Broken);
  FruLineAddError (&Line, &Error);
  EXPECT_EQ (std::string (Line.Text).rfind ("board area: checksum at 0x", 0), 0u) << Line.Text;
}

TEST (FruErrors, EveryTruncationIsAnErrorAndNeverReadsPastTheData) {
  Bytes  Good  = FullImage ();
  size_t  Extent = FruNeededSize (Good.data (), Good.size ());

  // The error names the area the image ends in, or the one that is missing,
  // and the start of the first area past the end.
  size_t  BoardAt   = Good[3] * 8u;
  size_t  ProductAt = Good[4] * 8u;
  size_t  MultiAt   = Good[5] * 8u;
  struct Cut { size_t At; FRU_AREA Area; size_t Needs; };
  for (const Cut &C : std::vector<Cut> {
         { BoardAt + 5, FruAreaBoard, ProductAt }, { ProductAt, FruAreaProduct, ProductAt },
         { ProductAt + 3, FruAreaProduct, MultiAt } })
  {
    FRU_ERROR  Error = FirstError (Bytes (Good.begin (), Good.begin () + static_cast<long>(C.At)));
    EXPECT_EQ (Error.Status, FruErrTruncated) << "cut at " << C.At;
    EXPECT_EQ (Error.Area, C.Area) << "cut at " << C.At;
    EXPECT_EQ (Error.Offset, C.Needs) << "cut at " << C.At;
    EXPECT_EQ (Error.Limit, C.At) << "cut at " << C.At;
  }

  EXPECT_EQ (Extent, Good[5] * 8u + Records ().size ());
  for (size_t Cut = 0; Cut < Extent; Cut++) {
    // Exactly Cut bytes on the heap: a read past them is a sanitizer finding.
    Bytes  Part (Good.begin (), Good.begin () + static_cast<long>(Cut));
    UINTN  Errors;
    Print (Part, &Errors);
    EXPECT_GT (Errors, 0u) << "cut at " << Cut;
    EXPECT_GT (FruNeededSize (Part.data (), Part.size ()), Cut) << "cut at " << Cut;
  }
}

TEST (FruNeeded, GrowsToTheImageExtentReadingOnlyWhatIsNamed) {
  Bytes  Good   = FullImage (4096);
  UINTN  Have   = 0;
  UINTN  Rounds = 0;

  for (UINTN Want = FruNeededSize (Good.data (), 0); Want > Have; Want = FruNeededSize (Good.data (), Have)) {
    Have = Want;
    Rounds++;
  }

  EXPECT_EQ (Have, Good[5] * 8u + Records ().size ());
  EXPECT_LE (Rounds, 6u);

  Bytes  Bad = Good;
  Bad[7] ^= 1;
  EXPECT_EQ (FruNeededSize (Bad.data (), 8), 8u);
}

TEST (FruSet, ReLaysTheAreaAndKeepsEverythingElse) {
  Bytes  Data = Image ({ {}, Chassis (), Board (64), Product () }, 512);
  Bytes  Before = Data;

  ASSERT_EQ (Set (Data, "board.serial", "SERIAL-NUMBER-LONGER"), FruOk);
  Captured  Out = Print (Data);
  EXPECT_TRUE (Out.Has ("board.serial: SERIAL-NUMBER-LONGER"));
  EXPECT_TRUE (Out.Has ("board.part: PN-1"));
  EXPECT_TRUE (Out.Has ("board.file_id: fid"));
  EXPECT_TRUE (Out.Has ("product.name: Srv"));
  EXPECT_EQ (FirstError (Data).Status, FruOk);
  EXPECT_TRUE (std::equal (Data.begin (), Data.begin () + Data[3] * 8, Before.begin ())) << "header and chassis untouched";

  // Shorter again: the area keeps its length, the bytes the field no longer
  // uses become padding after the 0xC1.
  UINT8  Length = Data[Data[3] * 8 + 1];
  ASSERT_EQ (Set (Data, "board.serial", "S2"), FruOk);
  EXPECT_TRUE (Print (Data).Has ("board.serial: S2"));
  EXPECT_EQ (FirstError (Data).Status, FruOk);
  EXPECT_EQ (Data[Data[3] * 8 + 1], Length);
  size_t  Last = Data[3] * 8 + Length * 8 - 1;
  size_t  Index = Last;
  while (Data[Index - 1] == 0) {
    Index--;
  }

  EXPECT_EQ (Data[Index - 1], FRU_END_OF_FIELDS);
  EXPECT_GE (Last - Index, 20u) << "the 20 bytes the serial gave up are padding";

  ASSERT_EQ (Set (Data, "chassis.type", "0x11"), FruOk);
  ASSERT_EQ (Set (Data, "board.mfg_date", "2025-03-04 05:06"), FruOk);
  Out = Print (Data);
  EXPECT_TRUE (Out.Has ("chassis.type: 17 (Main Server Chassis)"));
  EXPECT_TRUE (Out.Has ("board.mfg_date: 2025-03-04 05:06"));
  EXPECT_EQ (FirstError (Data).Status, FruOk);
}

TEST (FruSet, RefusesWhatDoesNotFitAndChangesNothing) {
  // No byte after the product area: the board area cannot grow.
  Bytes      Data = Image ({ {}, Chassis (), Board (), Product () });
  Bytes      Before = Data;
  FRU_ERROR  Error;

  EXPECT_EQ (Set (Data, "board.serial", "A-SERIAL-NUMBER-THAT-NEEDS-MORE-ROOM", &Error), FruErrNoRoom);
  EXPECT_EQ (Error.Area, FruAreaBoard);
  // 6 fixed bytes, fields of 6, 7, 37, 5 and 4 bytes, 0xC1, padding, checksum:
  // 72 bytes, so the product area would move up by the 32 the board lacks.
  EXPECT_EQ (Error.Offset, Data.size () + (Data[3] * 8u + 72u - Data[4] * 8u));
  EXPECT_EQ (Error.Limit, Data.size ());
  EXPECT_EQ (Set (Data, "chassis.custom2", "x1", &Error), FruErrFieldMissing);
  EXPECT_EQ (Set (Data, "board.serial", std::string (64, 'x').c_str ()), FruErrBadValue);
  EXPECT_EQ (Set (Data, "board.serial", "a"), FruErrBadValue);
  EXPECT_EQ (Set (Data, "chassis.type", "256", &Error), FruErrBadValue);
  EXPECT_EQ (Error.Offset, Data[2] * 8u + 2);
  EXPECT_EQ (Error.Limit, 0xFFu);
  EXPECT_EQ (Set (Data, "board.mfg_date", "yesterday", &Error), FruErrBadValue);
  EXPECT_EQ (Error.Offset, Data[3] * 8u + 3);
  EXPECT_EQ (Data, Before);

  Bytes  NoBoard = Image ({ {}, Chassis () }, 128);
  EXPECT_EQ (Set (NoBoard, "board.serial", "X1", &Error), FruErrAreaAbsent);
  Bytes  Damaged = Before;
  Damaged[7] ^= 1;
  EXPECT_EQ (Set (Damaged, "board.serial", "X1"), FruErrChecksum);

  // The last area grows into the bytes after it, up to the end of the data.
  Bytes  Last = Image ({ {}, {}, Board () });
  Last.resize (Last.size () + 8, 0);
  EXPECT_EQ (Set (Last, "board.serial", "SN-12345"), FruOk);
  EXPECT_EQ (Set (Last, "board.serial", "SN-1234567890123456", &Error), FruErrNoRoom);
  EXPECT_EQ (Error.Offset, Last[3] * 8u + 56) << "where the 56 bytes the area needs would end";
  EXPECT_EQ (Error.Limit, Last.size ());
}

TEST (FruSet, KeepsEncodingsThatHoldTheValueAndAddsFields) {
  Bytes  Area = InfoArea ({ 23 }, { Bytes { 0x83, 0xA1, 0x38, 0x92 }, Bytes { 0x42, 0x12, 0x34 } });
  Bytes  Data = Image ({ {}, Area }, 256);

  ASSERT_EQ (Set (Data, "chassis.part", "WXYZ"), FruOk);
  ASSERT_EQ (Set (Data, "chassis.serial", "9876-5"), FruOk);
  ASSERT_EQ (Set (Data, "chassis.custom1", "0x0102"), FruOk);
  ASSERT_EQ (Set (Data, "chassis.custom2", "Q"), FruOk);
  ASSERT_EQ (Set (Data, "chassis.custom3", std::string (80, 'K').c_str ()), FruOk);
  ASSERT_EQ (Set (Data, "chassis.custom4", ""), FruOk);

  EXPECT_EQ (FieldTypes (Data, FruAreaChassis), (std::vector<UINT8> { FRU_TYPE_6BIT, FRU_TYPE_BCD_PLUS, FRU_TYPE_BINARY, FRU_TYPE_6BIT, FRU_TYPE_6BIT, FRU_TYPE_8BIT }));
  Captured  Out = Print (Data);
  EXPECT_TRUE (Out.Has ("chassis.part: WXYZ"));
  EXPECT_TRUE (Out.Has ("chassis.serial: 9876-5"));
  EXPECT_TRUE (Out.Has ("chassis.custom1: 0x0102"));
  EXPECT_TRUE (Out.Has ("chassis.custom2: Q"));
  EXPECT_TRUE (Out.Has ("chassis.custom3: " + std::string (80, 'K')));
  EXPECT_TRUE (Out.Has ("chassis.custom4: "));

  // A fixed field past the area's early end: the fields before it come in empty.
  Bytes  Short = Image ({ {}, {}, InfoArea ({ 25, 0, 0, 0 }, { Text ("Mfr") }) }, 256);
  ASSERT_EQ (Set (Short, "board.part", "PN-9"), FruOk);
  Out = Print (Short);
  EXPECT_TRUE (Out.Has ("board.name: "));
  EXPECT_TRUE (Out.Has ("board.serial: "));
  EXPECT_TRUE (Out.Has ("board.part: PN-9"));
}

TEST (FruSixBit, EncodesAndDecodesEveryLengthAlike) {
  for (size_t Length = 2; Length <= 84; Length++) {
    std::string  Value;
    for (size_t Index = 0; Index < Length; Index++) {
      Value.push_back (static_cast<char>(0x20 + (Index * 7 + Length) % 64));
    }

    FRU_ENCODED_FIELD  Encoded;
    FRU_STATUS         Status = FruEncodeValue (Value.c_str (), FRU_TYPE_6BIT, &Encoded);
    if ((Length > 63) && (Length % 4 == 3)) {
      EXPECT_EQ (Status, FruErrBadValue) << "neither 6-bit nor 8-bit holds length " << Length;
      continue;
    }

    ASSERT_EQ (Status, FruOk) << Length;
    Bytes      Data (Encoded.Bytes, Encoded.Bytes + Encoded.Size);
    FRU_FIELD  Field { 0, static_cast<UINT8>(Data[0] >> 6), static_cast<UINT8>(Data[0] & 0x3F), 0 };
    FRU_LINE   Line;
    FruLineReset (&Line);
    FruLineAddFieldValue (&Line, Data.data (), &Field);
    EXPECT_EQ (Field.Type, (Length % 4 == 3) ? FRU_TYPE_8BIT : FRU_TYPE_6BIT) << Length;
    std::string  Expected;
    for (char C : Value) {
      Expected += (C == '\\') ? std::string ("\\x5C") : std::string (1, C);
    }

    EXPECT_EQ (std::string (Line.Text), Expected) << Length;
  }
}

}  // namespace
