/** @file
  Images made from a description: every value given back by print, values
  from the lookup, areas that grow past their default size, sizes given, and
  each kind of mistake named with its line.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruMake.h>

#include "FruTestImages.h"

#include <map>

using namespace FruTest;

namespace {

std::map<std::string, std::string>  mVariables;

CONST CHAR8 *
Lookup (VOID *Context, CONST CHAR8 *Name, UINTN Length)
{
  (VOID)Context;
  auto  Found = mVariables.find (std::string (Name, Length));
  return (Found == mVariables.end ()) ? nullptr : Found->second.c_str ();
}

struct Made {
  FRU_STATUS      Status;
  Bytes           Image;
  FRU_MAKE_ERROR  Error;

  std::string Message () const
  {
    FRU_LINE  Line;
    FruLineReset (&Line);
    FruLineAddMakeError (&Line, &Error);
    return Line.Text;
  }
};

Made
Make (const std::string &Text, size_t Capacity = FRU_MAX_IMAGE_SIZE)
{
  Made   Out;
  Bytes  Buffer (Capacity + 16, 0xA5);
  UINTN  Size = 0xBAD;

  Out.Status = FruMakeImage (Text.data (), Text.size (), Lookup, nullptr, Buffer.data (), Capacity, &Size, &Out.Error);
  if (Out.Status != FruOk) {
    EXPECT_EQ (Size, 0u) << "nothing made";
  }
  for (size_t Index = Capacity; Index < Buffer.size (); Index++) {
    EXPECT_EQ (Buffer[Index], 0xA5) << "written past the capacity at " << Index;
  }

  Out.Image.assign (Buffer.begin (), Buffer.begin () + static_cast<long>(Size));
  return Out;
}

TEST (FruMake, PrintGivesBackEveryValue) {
  mVariables = { { "SERIAL", "SN-0042" }, { "LINE", "7" } };
  Made  M = Make ("# a unit\n"
                  "chassis.type = 17\r\n"
                  "chassis.serial = ${SERIAL}\n"
                  "  board.mfg_date = 2024-05-01 08:00  \n"
                  "board.serial = B-${SERIAL}-${LINE}\n"
                  "board.custom1 = first\n"
                  "board.custom2 = \"  spaced  \"\n"
                  "product.name = TVR Server\n"
                  "product.version = 1234\n"
                  "internal.data = 0x0102\n"
                  "multirecord.1.type = 1\n"
                  "multirecord.1.data = 81b004c4ff3c0078000000204e\n"
                  "multirecord.2.type = 0xC5\n"
                  "multirecord.2.data =\n");
  ASSERT_EQ (M.Status, FruOk) << M.Message ();
  EXPECT_EQ (FirstError (M.Image).Status, FruOk);
  Captured  Out = Print (M.Image);
  for (const char *Line : { "chassis.type: 17 (Main Server Chassis)", "chassis.part: ", "chassis.serial: SN-0042",
                            "board.mfg_date: 2024-05-01 08:00", "board.serial: B-SN-0042-7", "board.custom1: first",
                            "board.custom2:   spaced  ", "product.name: TVR Server", "product.version: 1234",
                            "internal.data: 01020000000000", "multirecord.1.type: 0x01",
                            "multirecord.1.data: 81B004C4FF3C0078000000204E", "multirecord.1.standby: yes",
                            "multirecord.2: OEM, format 2, 0 bytes, checksum ok, end of list" })
  {
    EXPECT_TRUE (Out.Has (Line)) << Line;
  }

  // The same description makes the same bytes; the lookup's values count.
  EXPECT_EQ (Make ("chassis.type = 17\nchassis.serial = ${SERIAL}\n").Image,
             Make ("chassis.type = 17\nchassis.serial = SN-0042\n").Image);

  // The bytes themselves: fixed fields empty in 8-bit ASCII, chassis type
  // unknown, English, every area as short as its fields let it be; an
  // internal use area alone; an image.size equal to the image's end.
  const Bytes  Expected = Image ({ {}, InfoArea ({ 2 }, { Text (""), Text ("S1") }),
                                  InfoArea ({ 25, 0, 0, 0 }, { Text (""), Text (""), Text ("B1"), Text (""), Text ("") }),
                                  InfoArea ({ 25 }, { Text (""), Text ("P1"), Text (""), Text (""), Text (""), Text (""), Text ("") }) });
  EXPECT_EQ (Make ("chassis.serial = S1\nboard.serial = B1\nproduct.name = P1\n").Image, Expected);
  EXPECT_EQ (Make ("internal.data = 0x0102\n").Image, Image ({ Bytes { 1, 1, 2 } }));
  M = Make ("chassis.serial = S1\nboard.serial = B1\nproduct.name = P1\nimage.size = " + std::to_string (Expected.size ()) + "\n");
  EXPECT_EQ (M.Status, FruOk) << M.Message ();
  EXPECT_EQ (M.Image, Expected);
}

TEST (FruMake, AreasGrowPastTheirDefaultAndSizesAreKept) {
  std::string  Text = "board.size = 200\nproduct.size = 64\nimage.size = 2048\n";
  for (int Custom = 1; Custom <= 20; Custom++) {
    Text += "chassis.custom" + std::to_string (Custom) + " = " + std::string (60, static_cast<char>('a' + Custom)) + "\n";
  }

  Text += "board.serial = short\nproduct.name = " + std::string (63, 'N') + "\n";
  Made  M = Make (Text);
  ASSERT_EQ (M.Status, FruOk) << M.Message ();
  ASSERT_EQ (M.Image.size (), 2048u);
  EXPECT_EQ (FirstError (M.Image).Status, FruOk);
  EXPECT_GT (M.Image[M.Image[2] * 8 + 1] * 8u, 20u * 61) << "the chassis area grew for its fields";
  EXPECT_EQ (M.Image[M.Image[3] * 8 + 1] * 8u, 200u) << "the board area keeps the size asked for";
  EXPECT_GE (M.Image[M.Image[4] * 8 + 1] * 8u, 72u) << "the product area grew past its 64";
  EXPECT_TRUE (Print (M.Image).Has ("chassis.custom20: " + std::string (60, 'a' + 20)));

  // The same image does not fit 1024 bytes.
  Made  Small = Make (Text, 1024);
  EXPECT_NE (Small.Status, FruOk);
}

TEST (FruMake, MistakesNameTheirLine) {
  mVariables = {};
  struct Case { std::string Text; const char *Message; };
  for (const Case &C : std::vector<Case> {
         { "board.serial = 1\nboard.colour = red\n", "line 2: board.colour is not a name print uses" },
         { "\n\nboard.serial = ${NOPE}\n", "line 3: NOPE is not set in the environment" },
         { "board.serial = ${OPEN\n", "line 1: board.serial has ${ without }" },
         { "board.serial\n", "line 1: board.serial is not a name print uses" },
         { "internal.data = 0x123\n", "line 1: internal.data takes hex bytes" },
         { "multirecord.1.data = 00\n", "multirecord.N.type is missing" },
         { "multirecord.1.type = 0x100\n", "line 1: multirecord.1.type takes a number up to 0xFF" },
         { "multirecord.1.type = 1\nmultirecord.1.data = zz\n", "line 2: multirecord.1.data takes up to 255 hex bytes" },
         { "multirecord.1.type = 1\nmultirecord.1.data = ${NOPE}\n", "line 2: NOPE is not set in the environment" },
         { "board.size = 12\n", "line 1: board.size takes a multiple of 8" },
         { "board.size = " + std::string (700, '1') + "\n", "line 1: board.size takes a multiple of 8" },
         { "image.size = " + std::string (700, '1') + "\n", "line 1: image.size is larger than the image can be" },
         { "board.custom2 = x2\n", "line 1: board.custom2: board area: has 0 custom fields" },
         { "board.serial = xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\n", "line 1: board.serial: board area: value cannot be encoded" },
         { "product.name = abc\nimage.size = 16\n", "image.size is smaller than the image" } })
  {
    Made  M = Make (C.Text);
    EXPECT_NE (M.Status, FruOk) << C.Text;
    EXPECT_NE (M.Message ().find (C.Message), std::string::npos) << C.Text << " gave: " << M.Message ();
  }
}

//
// What an earlier line or description left in the parser's buffers does not
// leak into the next value: a one-digit size, a record without data.
//
TEST (FruMake, NothingLeftOverFromEarlierValues) {
  ASSERT_EQ (Make ("image.size = 2048\n").Image.size (), 2048u);
  EXPECT_EQ (Make ("image.size = 8\n").Image.size (), 8u);

  Made  M = Make ("internal.data = ABCD\nmultirecord.1.type = 0xC0\n");
  ASSERT_EQ (M.Status, FruOk) << M.Message ();
  ASSERT_NE (M.Image[5], 0);
  EXPECT_EQ (M.Image[M.Image[5] * 8 + 2], 0) << "no data bytes";
  EXPECT_EQ (FirstError (M.Image).Status, FruOk);
}

}  // namespace
