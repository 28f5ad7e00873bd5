/** @file
  Fuzz target of the FRU decoder and editor: the input after its first byte
  is a FRU image, held in a heap block of exactly its size so that a read
  past it is a sanitizer finding. print, verify, dump and the needed-size
  walk run over it; then the first byte picks a field and a value to set on
  a copy. The target checks that lines stay bounded, that the needed size
  stays inside what a FRU device addresses, and that a set that succeeds
  leaves its area passing every check and changes no byte outside the range
  it reports.
**/

#include <Library/FruEdit.h>
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

  UINT8               Selector = Input[0];
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
  std::vector<UINT8>  Edited = Image;
  CONST CHAR8         *Value = mValues[(Selector >> 4) % (sizeof (mValues) / sizeof (mValues[0]))];
  if (FruSetValue (Edited.data (), Edited.size (), &Name, Value, &Change, &Error) != FruOk) {
    Require (Edited == Image, "a refused set changes nothing");
    return 0;
  }

  Require (Change.Start + Change.Length <= Edited.size (), "the change lies inside the image");
  for (size_t Index = 0; Index < Edited.size (); Index++) {
    Require ((Edited[Index] == Image[Index]) || ((Index >= Change.Start) && (Index < Change.Start + Change.Length)),
      "nothing outside the reported change is touched");
  }

  FRU_HEADER  Header;
  FRU_SPAN    Span;
  Require (FruReadHeader (Edited.data (), Edited.size (), &Header, &Error) == FruOk, "the header still passes");
  Require (FruCheckArea (Edited.data (), Edited.size (), &Header, Name.Area, &Span, &Error) == FruOk, "the edited area passes");
  return 0;
}
