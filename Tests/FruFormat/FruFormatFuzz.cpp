/** @file
  Fuzz target of the FRU decoder, editor and maker. The first byte picks the
  mode and the field; the rest is a FRU image or, in make mode, a text
  description. Each is held in a heap block of exactly its size so that a
  read or write past it is a sanitizer finding.

  Image mode: print, verify, dump and the needed-size walk run over it; then
  a field is set on a copy with 0, 64 or 512 bytes of room after the image,
  so that areas grow and move. The target checks that lines stay bounded,
  that the needed size stays addressable, and that a set that succeeds
  changes no byte outside the range it reports, keeps every area that passed
  its checks passing, and leaves the edited one passing.

  Make mode: a description that makes an image makes one that verifies and
  fits the buffer; a refused one leaves an error that prints.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruEdit.h>
#include <Library/FruMake.h>
#include <Library/FruPrint.h>

#include "../Fuzz/FuzzRequire.h"

#include <cstring>
#include <vector>

namespace {

CONST CHAR8  *CONST  mNames[] = {
  "chassis.type", "chassis.part", "chassis.serial", "chassis.custom1", "chassis.custom3",
  "board.mfg_date", "board.manufacturer", "board.serial", "board.file_id", "board.custom2",
  "product.name", "product.version", "product.asset", "product.file_id", "product.custom1",
};

CONST CHAR8  *CONST  mValues[] = {
  "", "X", "x", "SN-0001", "0x00FF10", "12345678", "2024-02-29 12:00", "0x17",
  "A VALUE THAT IS LONGER THAN SIXTY-THREE CHARACTERS IN SIX-BIT ASCII, 80 OF THEM..",
};

VOID
CheckLine (
  VOID         *Context,
  CONST CHAR8  *Line
  )
{
  (VOID)Context;
  Require (std::strlen (Line) < FRU_LINE_MAX, "a printed line stays inside its buffer");
}

CONST CHAR8 *
Lookup (
  VOID         *Context,
  CONST CHAR8  *Name,
  UINTN        Length
  )
{
  (VOID)Context;
  return ((Length == 6) && (std::memcmp (Name, "SERIAL", 6) == 0)) ? "SN-0042" : nullptr;
}

/**
  Which areas of Data pass their checks: bit N for area N; bit 0 the header.
**/
UINTN
PassingAreas (
  const std::vector<UINT8>  &Data
  )
{
  FRU_HEADER  Header;
  FRU_ERROR   Error;
  FRU_SPAN    Span;
  UINTN       Passing = 0;

  if (FruReadHeader (Data.data (), Data.size (), &Header, &Error) != FruOk) {
    return 0;
  }

  Passing = 1;
  for (UINTN Area = FruAreaInternal; Area < FruAreaCount; Area++) {
    if ((Header.Start[Area] != 0) &&
        (FruCheckArea (Data.data (), Data.size (), &Header, static_cast<FRU_AREA>(Area), &Span, &Error) == FruOk))
    {
      Passing |= static_cast<UINTN>(1) << Area;
    }
  }

  return Passing;
}

int
FuzzMake (
  const UINT8  *Text,
  size_t       Size,
  UINT8        Selector
  )
{
  // The description in a block of its own size; the image in one of the
  // capacity given, which the maker must not write past.
  std::vector<CHAR8>  Description (Text, Text + Size);
  std::vector<UINT8>  Image ((Selector & 0x80) ? 1024 : 300);
  UINTN               Made = 0;
  FRU_MAKE_ERROR      Error;
  FRU_OUTPUT          Out = { CheckLine, nullptr };

  if (FruMakeImage (Description.data (), Description.size (), Lookup, nullptr, Image.data (), Image.size (), &Made, &Error) != FruOk) {
    FRU_LINE  Line;
    FruLineReset (&Line);
    FruLineAddMakeError (&Line, &Error);
    CheckLine (nullptr, Line.Text);
    return 0;
  }

  Require ((Made >= FRU_HEADER_SIZE) && (Made <= Image.size ()), "a made image fits its buffer");
  Require (FruVerifyImage (Image.data (), Made, &Out) == 0, "a made image passes every check");
  FruPrintImage (Image.data (), Made, &Out);
  return 0;
}

}  // namespace

extern "C" int
LLVMFuzzerTestOneInput (
  const UINT8  *Input,
  size_t       Size
  )
{
  if ((Size < 1) || (Size > FRU_MAX_IMAGE_SIZE + 1)) {
    return 0;
  }

  UINT8  Selector = Input[0];
  if ((Selector & 0x0F) == 0x0F) {
    return FuzzMake (Input + 1, Size - 1, Selector);
  }

  std::vector<UINT8>  Image (Input + 1, Input + Size);
  FRU_OUTPUT          Out = { CheckLine, nullptr };

  FruPrintImage (Image.data (), Image.size (), &Out);
  FruVerifyImage (Image.data (), Image.size (), &Out);
  FruDumpBytes (Image.data (), (Image.size () < 64) ? Image.size () : 64, 0, &Out);
  UINTN  Needed = FruNeededSize (Image.data (), Image.size ());
  Require (Needed <= FRU_MAX_IMAGE_SIZE, "the needed size stays addressable");
  Require ((Image.size () < FRU_HEADER_SIZE) ? Needed == FRU_HEADER_SIZE : Needed >= FRU_HEADER_SIZE, "the header is always needed");

  FRU_NAME    Name;
  FRU_CHANGE  Change;
  FRU_ERROR   Error;
  Require (FruParseName (mNames[Selector % (sizeof (mNames) / sizeof (mNames[0]))], &Name), "the names parse");
  // Room after the image for areas to grow into: none, 64 or 512 bytes.
  static constexpr UINTN  ROOM[] = { 0, 64, 512, 0 };
  std::vector<UINT8>  Device = Image;
  Device.resize (Image.size () + ROOM[(Selector >> 2) & 3], 0);
  std::vector<UINT8>  Edited  = Device;
  UINTN               Passing = PassingAreas (Device);
  CONST CHAR8         *Value  = mValues[(Selector >> 4) % (sizeof (mValues) / sizeof (mValues[0]))];
  if (FruSetValue (Edited.data (), Edited.size (), &Name, Value, &Change, &Error) != FruOk) {
    Require (Edited == Device, "a refused set changes nothing");
    return 0;
  }

  Require (Change.Start + Change.Length <= Edited.size (), "the change lies inside the device");
  for (size_t Index = 0; Index < Edited.size (); Index++) {
    Require ((Edited[Index] == Device[Index]) || ((Index >= Change.Start) && (Index < Change.Start + Change.Length)),
      "nothing outside the reported change is touched");
  }

  FRU_HEADER  Header;
  FRU_SPAN    Span;
  Require (FruReadHeader (Edited.data (), Edited.size (), &Header, &Error) == FruOk, "the header still passes");
  Require (FruCheckArea (Edited.data (), Edited.size (), &Header, Name.Area, &Span, &Error) == FruOk, "the edited area passes");
  UINTN  After = PassingAreas (Edited);
  Require ((After & Passing) == Passing, "every area that passed before still passes");
  UINTN  Named = 1;
  for (UINTN Area = FruAreaInternal; Area < FruAreaCount; Area++) {
    Named |= (Device[Area] != 0) ? static_cast<UINTN>(1) << Area : 0;
  }

  if (Passing == Named) {
    FRU_OUTPUT  Quiet = { CheckLine, nullptr };
    Require (FruVerifyImage (Edited.data (), Edited.size (), &Quiet) == 0, "a good image stays good after a set");
  }

  return 0;
}
