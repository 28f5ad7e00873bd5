/** @file
  print --json and verify --json: a FRU image as one JSON document.

  Each area comes with what make needs to lay it out again as it was: its
  offset and size, its language or chassis type, and every field with the
  encoding it is stored in. A value that text cannot give back exactly (BCD
  plus with nibbles above 0xC) is given as its bytes in "hex".

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruJsonText.h"

#include <Library/FruFieldNames.h>
#include <Library/FruPrint.h>
#include <Library/FruRecords.h>
#include <Library/FruValue.h>

namespace {

constexpr char  BCD_PLUS[] = "0123456789 -.";

const char *const  ENCODING_NAMES[] = { "binary", "bcd_plus", "6bit", "text" };

std::string
ErrorText (
  const FRU_ERROR  &Error
  )
{
  FRU_LINE  Line;

  FruLineReset (&Line);
  FruLineAddError (&Line, &Error);
  return Line.Text;
}

/**
  One field: its name as print gives it, its encoding, and its value.
**/
FRU_JSON
FieldJson (
  const std::uint8_t  *Data,
  FRU_AREA            Area,
  const FRU_FIELD     &Field
  )
{
  const std::uint8_t  *Bytes = Data + Field.Offset + 1;
  FRU_JSON            Out;
  FRU_LINE            Name;

  FruLineReset (&Name);
  FruLineAddFieldName (&Name, Area, Field.Index);
  Out["name"]     = Name.Text;
  Out["encoding"] = ENCODING_NAMES[Field.Type];
  switch (Field.Type) {
    case FRU_TYPE_BINARY:
      Out["value"] = FruJsonHex (Bytes, Field.Length);
      break;

    case FRU_TYPE_BCD_PLUS: {
      std::string  Text;
      for (std::size_t Index = 0; Index < std::size_t (2) * Field.Length; Index++) {
        std::uint8_t  Nibble = (Index % 2 == 0) ? Bytes[Index / 2] >> 4 : Bytes[Index / 2] & 0xF;
        if (Nibble >= sizeof (BCD_PLUS) - 1) {
          Out["hex"] = FruJsonHex (Bytes, Field.Length);
          return Out;
        }

        Text += BCD_PLUS[Nibble];
      }

      Out["value"] = Text;
      break;
    }

    case FRU_TYPE_6BIT: {
      std::string  Text;
      for (std::size_t Index = 0; Index < (std::size_t (Field.Length) * 8) / 6; Index++) {
        std::size_t    Bit  = Index * 6;
        std::uint32_t  Code = static_cast<std::uint32_t>(Bytes[Bit / 8]) >> (Bit % 8);
        if (((Bit % 8) > 2) && (Bit / 8 + 1 < Field.Length)) {
          Code |= static_cast<std::uint32_t>(Bytes[Bit / 8 + 1]) << (8 - Bit % 8);
        }

        Text += static_cast<char>((Code & 0x3F) + 0x20);
      }

      Out["value"] = Text;
      break;
    }

    default:
      Out["value"] = FruJsonTextOfLatin1 (Bytes, Field.Length);
      break;
  }

  return Out;
}

FRU_JSON
InfoAreaJson (
  const std::uint8_t  *Data,
  FRU_AREA            Area,
  const FRU_SPAN      &Span
  )
{
  FRU_JSON  Out;
  FRU_LINE  Line;

  Out["offset"]   = Span.Start;
  Out["size"]     = Span.Length;
  Out["checksum"] = "ok";
  if (Area == FruAreaChassis) {
    std::uint8_t  Type = Data[Span.Start + 2];
    FruLineReset (&Line);
    FruLineAddChassisType (&Line, Type);
    std::string  Text  = Line.Text;
    std::size_t  Open  = Text.find (" (");
    Out["type"] = Type;
    if (Open != std::string::npos) {
      Out["type_name"] = Text.substr (Open + 2, Text.size () - Open - 3);
    }
  } else {
    Out["language"] = Data[Span.Start + 2];
  }

  if (Area == FruAreaBoard) {
    const std::uint8_t  *Date = Data + Span.Start + 3;
    FruLineReset (&Line);
    FruLineAddDate (&Line, Date[0] | (static_cast<UINT32>(Date[1]) << 8) | (static_cast<UINT32>(Date[2]) << 16));
    Out["mfg_date"] = Line.Text;
  }

  FRU_FIELD_CURSOR  Cursor;
  FRU_FIELD         Field;
  Out["fields"] = FRU_JSON::array ();
  FruFirstField (&Span, Area, &Cursor);
  while (FruNextField (Data, &Cursor, &Field)) {
    Out["fields"].push_back (FieldJson (Data, Area, Field));
  }

  return Out;
}

FRU_JSON
MultiRecordJson (
  const std::uint8_t  *Data,
  const FRU_SPAN      &Span
  )
{
  FRU_JSON    Out;
  FRU_RECORD  Record;
  UINT32      At = Span.Start;

  Out["offset"]  = Span.Start;
  Out["size"]    = Span.Length;
  Out["records"] = FRU_JSON::array ();
  while (FruNextRecord (Data, &Span, &At, &Record)) {
    const std::uint8_t  *Bytes = Data + Record.Offset + FRU_RECORD_HEADER;
    const char          *Name  = FruRecordTypeName (Record.Type);
    FRU_JSON            Item;
    Item["type"] = Record.Type;
    Item["type_name"] = (Name != nullptr) ? Name : "unassigned type";
    Item["format"] = Record.Format & 0x0F;
    Item["end_of_list"] = (Record.Format & FRU_RECORD_END_OF_LIST) != 0;
    Item["checksum"] = "ok";
    Item["data"] = FruJsonHex (Bytes, Record.Length);
    Item.update (FruJsonDecodeRecord (Record.Type, Bytes, Record.Length));
    Out["records"].push_back (Item);
  }

  return Out;
}

}  // namespace

FRU_JSON
FruJsonPrint (
  const std::uint8_t  *Data,
  std::size_t         Size,
  std::size_t         *Errors
  )
{
  FRU_JSON    Out;
  FRU_HEADER  Header;
  FRU_ERROR   Error;
  FRU_SPAN    Span;
  FRU_JSON    ErrorList = FRU_JSON::array ();

  Out["size"] = Size;
  if (FruReadHeader (Data, Size, &Header, &Error) != FruOk) {
    ErrorList.push_back (ErrorText (Error));
  } else {
    Out["header"] = { { "version", Data[0] }, { "checksum", "ok" }, { "offsets", FRU_JSON::object () } };
    for (std::size_t Slot = FruAreaInternal; Slot < FruAreaCount; Slot++) {
      Out["header"]["offsets"][FruAreaName (static_cast<FRU_AREA>(Slot))] = Header.Start[Slot];
    }

    for (std::size_t Slot = FruAreaInternal; Slot < FruAreaCount; Slot++) {
      FRU_AREA  Area = static_cast<FRU_AREA>(Slot);
      if (Header.Start[Area] == 0) {
        continue;
      }

      const char  *Name = FruAreaName (Area);
      if (FruCheckArea (Data, Size, &Header, Area, &Span, &Error) != FruOk) {
        Out[Name] = { { "offset", Header.Start[Area] }, { "error", ErrorText (Error) } };
        ErrorList.push_back (ErrorText (Error));
      } else if (Area == FruAreaInternal) {
        Out[Name] = { { "offset", Span.Start }, { "size", Span.Length },
                      { "data", FruJsonHex (Data + Span.Start + 1, Span.Length - 1) } };
      } else if (Area == FruAreaMultiRecord) {
        Out[Name] = MultiRecordJson (Data, Span);
      } else {
        Out[Name] = InfoAreaJson (Data, Area, Span);
      }
    }
  }

  *Errors = ErrorList.size ();
  if (!ErrorList.empty ()) {
    Out["errors"] = ErrorList;
  }

  return Out;
}

FRU_JSON
FruJsonVerify (
  const std::uint8_t  *Data,
  std::size_t         Size,
  const std::string   &File,
  std::size_t         *Errors
  )
{
  FRU_JSON    Out;
  FRU_HEADER  Header;
  FRU_ERROR   Error;
  FRU_SPAN    Span;

  *Errors       = 0;
  Out["file"]   = File;
  Out["size"]   = Size;
  Out["header"] = { { "status", "ok" } };
  Out["areas"]  = FRU_JSON::array ();
  if (FruReadHeader (Data, Size, &Header, &Error) != FruOk) {
    Out["header"] = { { "status", "error" }, { "error", ErrorText (Error) } };
    *Errors       = 1;
  } else {
    for (std::size_t Slot = FruAreaInternal; Slot < FruAreaCount; Slot++) {
      FRU_AREA  Area = static_cast<FRU_AREA>(Slot);
      if (Header.Start[Area] == 0) {
        continue;
      }

      FRU_JSON  Item = { { "area", FruAreaName (Area) }, { "offset", Header.Start[Area] } };
      if (FruCheckArea (Data, Size, &Header, Area, &Span, &Error) != FruOk) {
        Item["status"] = "error";
        Item["error"]  = ErrorText (Error);
        (*Errors)++;
      } else {
        Item["size"]   = Span.Length;
        Item["status"] = "ok";
      }

      Out["areas"].push_back (Item);
    }
  }

  Out["errors"] = *Errors;
  Out["result"] = (*Errors == 0) ? "every checksum good" : "FAILED";
  return Out;
}
