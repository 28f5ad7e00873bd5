/** @file
  Setting a field that no longer fits its area: the areas after it move up
  in 8-byte units byte for byte, the multi-record area whole, the common
  header is rewritten; refused, with nothing changed, only when the data
  has no room.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruTestImages.h"

using namespace FruTest;

namespace {

FRU_STATUS
SetChange (Bytes &Data, const char *Name, const char *Value, FRU_CHANGE *Change, FRU_ERROR *Error)
{
  FRU_NAME  Parsed;

  EXPECT_TRUE (FruParseName (Name, &Parsed)) << Name;
  return FruSetValue (Data.data (), Data.size (), &Parsed, Value, Change, Error);
}

/// The bytes of the area in header slot Slot.
Bytes
AreaBytes (const Bytes &Data, size_t Slot, size_t Length)
{
  size_t  Start = Data[Slot] * 8u;
  return Bytes (Data.begin () + static_cast<long>(Start), Data.begin () + static_cast<long>(Start + Length));
}

std::vector<std::string>
Without (const std::vector<std::string> &Lines, const std::string &Prefix)
{
  std::vector<std::string>  Out;
  for (const std::string &Line : Lines) {
    if (Line.rfind (Prefix, 0) != 0) {
      Out.push_back (Line);
    }
  }

  return Out;
}

TEST (FruGrow, MovesTheFollowingAreasAndKeepsTheirBytes) {
  const size_t  DeviceSize = 1024;
  Bytes         Data   = FullImage (DeviceSize);
  const Bytes   Before = Data;
  const size_t  ProductLength = Product ().size ();
  const size_t  RecordsLength = Records ().size ();
  const size_t  OldEnd        = Before[5] * 8u + RecordsLength;
  FRU_CHANGE    Change;
  FRU_ERROR     Error;
  std::string   Serial (60, 'Z');

  ASSERT_EQ (SetChange (Data, "board.serial", Serial.c_str (), &Change, &Error), FruOk);
  EXPECT_EQ (FirstError (Data).Status, FruOk);

  // The board area grew past the product area's start: product and records
  // moved by the same multiple of 8, their bytes as they were.
  size_t  Delta = (Data[4] - Before[4]) * 8u;
  EXPECT_GT (Delta, 0u);
  EXPECT_EQ (Delta % 8, 0u);
  EXPECT_EQ ((Data[5] - Before[5]) * 8u, Delta);
  EXPECT_EQ (AreaBytes (Data, 4, ProductLength), AreaBytes (Before, 4, ProductLength));
  EXPECT_EQ (AreaBytes (Data, 5, RecordsLength), AreaBytes (Before, 5, RecordsLength));
  EXPECT_EQ (Data[1], Before[1]);
  EXPECT_EQ (Data[2], Before[2]);
  EXPECT_EQ (Sum (Data, 0, 8), 0);
  EXPECT_TRUE (std::equal (Data.begin () + 8, Data.begin () + Data[3] * 8, Before.begin () + 8)) << "internal and chassis untouched";

  // The change covers everything that moved; the bytes past it are the old ones.
  EXPECT_EQ (Change.Start, 0u);
  EXPECT_EQ (Change.Length, OldEnd + Delta);
  EXPECT_TRUE (std::equal (Data.begin () + Change.Length, Data.end (), Before.begin () + Change.Length));

  // print gives the same fields, the new serial, and the same records.
  std::vector<std::string>  Old = Print (Before).Lines;
  std::vector<std::string>  New = Print (Data).Lines;
  EXPECT_EQ (Without (New, "board.serial"), Without (Old, "board.serial"));
  EXPECT_TRUE (Print (Data).Has ("board.serial: " + Serial));
  EXPECT_EQ (FieldTypes (Data, FruAreaProduct), FieldTypes (Before, FruAreaProduct));

  // Back to a short value: the area keeps its grown length, nothing moves.
  const Bytes  Grown = Data;
  ASSERT_EQ (SetChange (Data, "board.serial", "SN", &Change, &Error), FruOk);
  EXPECT_EQ (Data[3], Grown[3]);
  EXPECT_EQ (Data[Data[3] * 8 + 1], Grown[Grown[3] * 8 + 1]);
  EXPECT_EQ (Change.Start, Data[3] * 8u);
  EXPECT_TRUE (std::equal (Data.begin () + Data[4] * 8, Data.end (), Grown.begin () + Grown[4] * 8));
}

TEST (FruGrow, EachAreaGrowsWithWhatFollowsIt) {
  // A custom field added to each info area in turn, up to the 2040 bytes an
  // area holds, over a device with room to spare.
  for (const char *Name : { "chassis.custom1", "board.custom1", "product.custom1" }) {
    Bytes        Data   = FullImage (4096);
    const Bytes  Before = Data;
    std::string  Value (63, 'q');
    FRU_CHANGE   Change;
    FRU_ERROR    Error;

    for (int Round = 0; Round < 40; Round++) {
      std::string  Field = std::string (Name, std::string (Name).size () - 1) + std::to_string (Round + 1);
      FRU_STATUS   Status = SetChange (Data, Field.c_str (), Value.c_str (), &Change, &Error);
      if (Status == FruErrNoRoom) {
        EXPECT_GE (Round, 28) << Name << ": an area holds 2040 bytes";
        break;
      }

      ASSERT_EQ (Status, FruOk) << Field;
      ASSERT_EQ (FirstError (Data).Status, FruOk) << Field;
    }

    EXPECT_EQ (AreaBytes (Data, 5, Records ().size ()), AreaBytes (Before, 5, Records ().size ())) << Name;
    EXPECT_TRUE (Print (Data).Has ("product.name: Srv")) << Name;
  }
}

TEST (FruGrow, RefusedWithoutRoomOrOverADamagedAreaAndNothingChanges) {
  FRU_CHANGE  Change;
  FRU_ERROR   Error;

  // The image fills the data exactly: no room for the records to move.
  Bytes        Exact  = FullImage ();
  const Bytes  Before = Exact;
  Change = { 7, 7 };
  ASSERT_EQ (SetChange (Exact, "board.serial", std::string (40, 'X').c_str (), &Change, &Error), FruErrNoRoom);
  EXPECT_EQ (Change.Start + Change.Length, 0u) << "an empty change";
  EXPECT_EQ (Error.Area, FruAreaBoard);
  EXPECT_EQ (Error.Limit, Exact.size ());
  EXPECT_GT (Error.Offset, Exact.size ());
  EXPECT_EQ (Exact, Before);
  FRU_LINE  Line;
  FruLineReset (&Line);
  FruLineAddError (&Line, &Error);
  EXPECT_NE (std::string (Line.Text).find ("end of the device"), std::string::npos) << Line.Text;

  // Eight more bytes are exactly enough for an 8-byte growth.
  Bytes  OneMore = FullImage (Before.size () + 8);
  std::string  Longer = "SN-1" + std::string (8, '0');
  EXPECT_EQ (SetChange (OneMore, "board.serial", Longer.c_str (), &Change, &Error), FruOk);
  EXPECT_EQ (FirstError (OneMore).Status, FruOk);

  // A damaged record after the board area: it cannot be moved, so the set is
  // refused with the record's own error.
  Bytes  Damaged = FullImage (1024);
  Damaged[Damaged[5] * 8 + 5] ^= 0x10;
  const Bytes  DamagedBefore = Damaged;
  EXPECT_EQ (SetChange (Damaged, "board.serial", std::string (40, 'X').c_str (), &Change, &Error), FruErrRecordChecksum);
  EXPECT_EQ (Error.Area, FruAreaMultiRecord);
  EXPECT_EQ (Damaged, DamagedBefore);

  // Areas would start past what the header's offset byte reaches (0x7F8).
  Bytes  Rebuilt = Image ({ {}, {}, Board () }, 8192);
  Rebuilt[4] = 0xF0;
  Rebuilt[5] = 0xFE;
  Rebuilt[7] = static_cast<UINT8>(0x100 - Sum (Rebuilt, 0, 7));
  Bytes  P = Product ();
  Bytes  R = Records ();
  std::copy (P.begin (), P.end (), Rebuilt.begin () + 0xF0 * 8);
  std::copy (R.begin (), R.end (), Rebuilt.begin () + 0xFE * 8);
  ASSERT_EQ (FirstError (Rebuilt).Status, FruOk);
  Bytes       Fine   = Rebuilt;
  FRU_STATUS  Status = FruOk;
  for (int Round = 1; (Status == FruOk) && (Round < 8); Round++) {
    const Bytes  RebuiltBefore = Rebuilt;
    std::string  Field = "product.custom" + std::to_string (Round);
    Status = SetChange (Rebuilt, Field.c_str (), std::string (60, 'N').c_str (), &Change, &Error);
    if (Status != FruOk) {
      EXPECT_EQ (Rebuilt, RebuiltBefore);
    }
  }

  EXPECT_EQ (Status, FruErrNoRoom);
  EXPECT_EQ (Error.Limit, 0xFFu * 8);

  // Grown a byte at a time, the first refusal is the records' move to 0x800.
  Status = FruOk;
  for (int Custom = 1; (Status == FruOk) && (Custom < 4); Custom++) {
    std::string  Field = "product.custom" + std::to_string (Custom);
    for (size_t Length = 2; (Status == FruOk) && (Length < 64); Length++) {
      Status = SetChange (Fine, Field.c_str (), std::string (Length, 'n').c_str (), &Change, &Error);
    }
  }

  EXPECT_EQ (Status, FruErrNoRoom);
  EXPECT_EQ (Error.Offset, 0x800u);
  EXPECT_EQ (Error.Limit, 0x7F8u);
  EXPECT_EQ (FirstError (Fine).Status, FruOk);

  // An area that would pass 2040 bytes is refused; a value that fits still
  // goes in after that.
  Bytes  Alone = Image ({ {}, {}, {}, Product () }, 4096);
  Status = FruOk;
  for (int Custom = 1; (Status == FruOk) && (Custom < 40); Custom++) {
    Status = SetChange (Alone, ("product.custom" + std::to_string (Custom)).c_str (), std::string (63, 'a').c_str (), &Change, &Error);
  }

  EXPECT_EQ (Status, FruErrNoRoom);
  EXPECT_EQ (Error.Offset, 8u + 2048);
  EXPECT_EQ (Error.Limit, 8u + 2040);
  EXPECT_EQ (SetChange (Alone, "product.name", "x1", &Change, &Error), FruOk);
  EXPECT_TRUE (Print (Alone).Has ("product.name: x1"));
}

}  // namespace
