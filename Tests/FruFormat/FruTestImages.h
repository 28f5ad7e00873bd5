/** @file
  FRU images built byte by byte for the format library's tests: info areas,
  multi-records and whole images with their checksums, and helpers that
  print, check and set over them.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_TEST_IMAGES_H_
#define FRU_TEST_IMAGES_H_

#include <Library/FruEdit.h>
#include <Library/FruPrint.h>
#include <Library/FruValue.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace FruTest {

using Bytes = std::vector<UINT8>;

inline Bytes
Text (const std::string &Value)
{
  Bytes  Out { static_cast<UINT8>(0xC0 | Value.size ()) };
  Out.insert (Out.end (), Value.begin (), Value.end ());
  return Out;
}

inline UINT8
Sum (const Bytes &Data, size_t From, size_t Count)
{
  UINT8  Total = 0;
  for (size_t Index = From; Index < From + Count; Index++) {
    Total = static_cast<UINT8>(Total + Data[Index]);
  }

  return Total;
}

inline Bytes
InfoArea (Bytes Prefix, const std::vector<Bytes> &Fields, size_t PadTo = 0)
{
  Bytes  Area { 1, 0 };
  Area.insert (Area.end (), Prefix.begin (), Prefix.end ());
  for (const Bytes &F : Fields) {
    Area.insert (Area.end (), F.begin (), F.end ());
  }

  Area.push_back (0xC1);
  while ((Area.size () + 1) % 8 != 0 || Area.size () + 1 < PadTo) {
    Area.push_back (0);
  }

  Area[1] = static_cast<UINT8>((Area.size () + 1) / 8);
  Area.push_back (static_cast<UINT8>(0x100 - Sum (Area, 0, Area.size ())));
  return Area;
}

inline Bytes
Record (UINT8 Type, const Bytes &Data, bool Last)
{
  Bytes  Out { Type, static_cast<UINT8>(0x02 | (Last ? 0x80 : 0)), static_cast<UINT8>(Data.size ()), 0, 0 };
  Out[3] = static_cast<UINT8>(0x100 - Sum (Data, 0, Data.size ()));
  Out[4] = static_cast<UINT8>(0x100 - Sum (Out, 0, 4));
  Out.insert (Out.end (), Data.begin (), Data.end ());
  return Out;
}

///
/// Header plus areas in slot order (internal, chassis, board, product,
/// multirecord); an empty area is left out.
///
inline Bytes
Image (const std::vector<Bytes> &Areas, size_t Size = 0)
{
  Bytes  Out (8, 0);
  Out[0] = 1;
  for (size_t Slot = 0; Slot < Areas.size (); Slot++) {
    if (Areas[Slot].empty ()) {
      continue;
    }

    Out[1 + Slot] = static_cast<UINT8>(Out.size () / 8);
    Out.insert (Out.end (), Areas[Slot].begin (), Areas[Slot].end ());
    while (Out.size () % 8 != 0) {
      Out.push_back (0);
    }
  }

  Out[7] = static_cast<UINT8>(0x100 - Sum (Out, 0, 7));
  if (Out.size () < Size) {
    Out.resize (Size, 0);
  }

  return Out;
}

inline Bytes Chassis () { return InfoArea ({ 23 }, { Text ("CH-PART"), Text ("CH-SN") }); }
inline Bytes Board (size_t PadTo = 0)
{
  return InfoArea ({ 25, 0x10, 0x20, 0x30 }, { Text ("Tavri"), Text ("TVR-MB"), Text ("SN-1"), Text ("PN-1"), Text ("fid") }, PadTo);
}

inline Bytes Product () { return InfoArea ({ 25 }, { Text ("Tavri"), Text ("Srv"), Text ("P1"), Text ("A1"), Text ("PSN"), Text ("AT"), Text ("") }); }
inline Bytes Records () { Bytes R = Record (0x00, Bytes (24, 7), false); Bytes L = Record (0xC0, { 1, 2, 3 }, true); R.insert (R.end (), L.begin (), L.end ()); return R; }

inline Bytes FullImage (size_t Size = 0) { return Image ({ { 1, 9, 9, 9, 0, 0, 0, 0 }, Chassis (), Board (), Product (), Records () }, Size); }

struct Captured {
  std::vector<std::string>  Lines;
  FRU_OUTPUT                Output { Collect, this };

  static VOID Collect (VOID *Context, CONST CHAR8 *Line) { static_cast<Captured *>(Context)->Lines.push_back (Line); }

  bool Has (const std::string &Line) const
  {
    for (const std::string &L : Lines) {
      if (L == Line) {
        return true;
      }
    }

    return false;
  }
};

inline Captured
Print (const Bytes &Data, UINTN *Errors = nullptr)
{
  Captured  Out;
  UINTN     Found = FruPrintImage (Data.data (), Data.size (), &Out.Output);
  if (Errors != nullptr) {
    *Errors = Found;
  }

  return Out;
}

inline FRU_ERROR
FirstError (const Bytes &Data)
{
  FRU_HEADER  Header;
  FRU_ERROR   Error {};
  FRU_SPAN    Span;

  if (FruReadHeader (Data.data (), Data.size (), &Header, &Error) != FruOk) {
    return Error;
  }

  for (int Area = FruAreaInternal; Area < FruAreaCount; Area++) {
    if ((Header.Start[Area] != 0) && (FruCheckArea (Data.data (), Data.size (), &Header, static_cast<FRU_AREA>(Area), &Span, &Error) != FruOk)) {
      return Error;
    }
  }

  Error.Status = FruOk;
  return Error;
}

inline FRU_STATUS
Set (Bytes &Data, const char *Name, const char *Value, FRU_ERROR *Error = nullptr)
{
  FRU_NAME    Parsed;
  FRU_CHANGE  Change;
  FRU_ERROR   Local;

  EXPECT_TRUE (FruParseName (Name, &Parsed)) << Name;
  return FruSetValue (Data.data (), Data.size (), &Parsed, Value, &Change, (Error != nullptr) ? Error : &Local);
}

///
/// The type of each field of Area, in order.
///
inline std::vector<UINT8>
FieldTypes (const Bytes &Data, FRU_AREA Area)
{
  FRU_HEADER          Header;
  FRU_SPAN            Span;
  FRU_ERROR           Error;
  FRU_FIELD_CURSOR    Cursor;
  FRU_FIELD           Field;
  std::vector<UINT8>  Types;

  if ((FruReadHeader (Data.data (), Data.size (), &Header, &Error) != FruOk) ||
      (FruCheckArea (Data.data (), Data.size (), &Header, Area, &Span, &Error) != FruOk))
  {
    ADD_FAILURE () << "the area does not pass its checks: error " << Error.Status;
    return Types;
  }

  FruFirstField (&Span, Area, &Cursor);
  while (FruNextField (Data.data (), &Cursor, &Field)) {
    Types.push_back (Field.Type);
  }

  return Types;
}

}  // namespace FruTest

#endif
