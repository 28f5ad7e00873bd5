/** @file
  make --json: a FRU image from a JSON description.

  Every area is built whole from its description (prefix, fields in the
  encodings given, end marker, zero padding up to its size, checksum), then
  the areas are placed at the offsets given or one after the other in the
  usual order, and the common header written. Keys print --json writes for
  people or scripts (checksum states, type names, decoded record values)
  are taken and checked, never used to build bytes: a record is made from
  its data, and decoded values that data does not hold are refused.

  Every refusal names the JSON path of the bad value; nothing is returned
  but the message then.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruJsonText.h"

#include <algorithm>
#include <initializer_list>

#include <Library/FruFieldNames.h>
#include <Library/FruPrint.h>
#include <Library/FruValue.h>

namespace {

constexpr std::size_t   MAX_NESTING      = 32;
constexpr std::size_t   MAX_AREA_OFFSET  = std::size_t (255) * 8;
constexpr std::uint8_t  CHASSIS_UNKNOWN  = 2;
constexpr std::uint8_t  LANGUAGE_ENGLISH = 25;
constexpr char          BCD_PLUS[]       = "0123456789 -.";

const char *const  ENCODING_NAMES[] = { "binary", "bcd_plus", "6bit", "text" };

std::size_t
Align8 (
  std::size_t  Value
  )
{
  return (Value + 7) & ~static_cast<std::size_t>(7);
}

std::string
Offset (
  std::size_t  Value
  )
{
  char  Text[16];

  std::snprintf (Text, sizeof (Text), "0x%04zX", Value);
  return Text;
}

/**
  The deepest nesting of arrays and objects in Text, outside strings.
**/
std::size_t
Nesting (
  const std::string  &Text
  )
{
  std::size_t  Depth    = 0;
  std::size_t  Deepest  = 0;
  bool         InString = false;

  for (std::size_t At = 0; At < Text.size (); At++) {
    char  Char = Text[At];
    if (InString) {
      At      += (Char == '\\') ? 1 : 0;
      InString = (Char != '"');
    } else if (Char == '"') {
      InString = true;
    } else if ((Char == '{') || (Char == '[')) {
      Deepest = std::max (Deepest, ++Depth);
    } else if (((Char == '}') || (Char == ']')) && (Depth > 0)) {
      Depth--;
    }
  }

  return Deepest;
}

///
/// One area built, waiting to be placed.
///
struct PLACED_AREA {
  FRU_AREA                     Area;
  std::string                  Path;
  bool                         HasOffset;
  std::size_t                  Offset;
  std::vector<std::uint8_t>    Bytes;
};

class FRU_JSON_MAKER {
public:
  FRU_JSON_MAKER (
    const FRU_JSON_LOOKUP  &Lookup,
    std::string            &Error
    ) : mLookup (Lookup), mError (Error)
  {
  }

  bool
  Make (
    const FRU_JSON             &Root,
    std::vector<std::uint8_t>  &Image
    );

private:
  const FRU_JSON_LOOKUP  &mLookup;
  std::string            &mError;

  bool
  Fail (
    const std::string  &Path,
    const std::string  &Message
    )
  {
    mError = Path.empty () ? Message : Path + ": " + Message;
    return false;
  }

  static std::string
  Join (
    const std::string  &Path,
    const std::string  &Key
    )
  {
    return Path.empty () ? Key : Path + "." + Key;
  }

  bool CheckKeys (const FRU_JSON &Object, const std::string &Path, std::initializer_list<const char *> Known);
  bool GetString (const FRU_JSON &Object, const std::string &Path, const char *Key, std::string &Value, bool &Present);
  bool GetNumber (const FRU_JSON &Object, const std::string &Path, const char *Key, std::uint64_t Max, std::uint64_t &Value, bool &Present);
  bool GetPlacement (const FRU_JSON &Object, const std::string &Path, PLACED_AREA &Placed, std::uint64_t &Size, bool &HasSize);
  bool EncodeValue (const std::string &Path, int Type, const std::string &Value, std::vector<std::uint8_t> &Field);
  bool BuildField (const FRU_JSON &Object, const std::string &Path, FRU_AREA Area, std::size_t Index, std::vector<std::uint8_t> &Bytes);
  bool BuildInfoArea (const FRU_JSON &Object, FRU_AREA Area, PLACED_AREA &Placed);
  bool BuildInternalArea (const FRU_JSON &Object, PLACED_AREA &Placed);
  bool BuildRecord (const FRU_JSON &Object, const std::string &Path, bool Last, std::vector<std::uint8_t> &Bytes);
  bool BuildMultiRecordArea (const FRU_JSON &Object, PLACED_AREA &Placed);
  bool Place (std::vector<PLACED_AREA> &Areas, std::size_t &End);
  bool CheckHeaderOffsets (const FRU_JSON &Offsets, const std::vector<PLACED_AREA> &Areas);
};

bool
FRU_JSON_MAKER::CheckKeys (
  const FRU_JSON                       &Object,
  const std::string                    &Path,
  std::initializer_list<const char *>  Known
  )
{
  if (!Object.is_object ()) {
    return Fail (Path, std::string ("is ") + Object.type_name () + ", not an object");
  }

  for (auto Item = Object.begin (); Item != Object.end (); ++Item) {
    if (std::none_of (Known.begin (), Known.end (), [&Item](const char *Name) { return Item.key () == Name; })) {
      std::string  List;
      for (const char *Name : Known) {
        List += List.empty () ? Name : std::string (", ") + Name;
      }

      return Fail (Join (Path, Item.key ()), "unknown key; expected " + List);
    }
  }

  return true;
}

/**
  A string member, with ${NAME} replaced.
**/
bool
FRU_JSON_MAKER::GetString (
  const FRU_JSON     &Object,
  const std::string  &Path,
  const char         *Key,
  std::string        &Value,
  bool               &Present
  )
{
  std::string  Why;

  Present = Object.contains (Key);
  if (!Present) {
    return true;
  }

  const FRU_JSON  &Item = Object[Key];
  if (!Item.is_string ()) {
    return Fail (Join (Path, Key), std::string ("is ") + Item.type_name () + ", not a string");
  }

  return FruJsonExpand (Item.get_ref<const std::string &>(), mLookup, Value, Why) || Fail (Join (Path, Key), Why);
}

/**
  A number member: a JSON number, or a string (after ${NAME} replacement)
  holding a decimal or 0x hex number; at most Max.
**/
bool
FRU_JSON_MAKER::GetNumber (
  const FRU_JSON     &Object,
  const std::string  &Path,
  const char         *Key,
  std::uint64_t      Max,
  std::uint64_t      &Value,
  bool               &Present
  )
{
  std::string  Text;

  Present = Object.contains (Key);
  if (!Present) {
    return true;
  }

  const FRU_JSON  &Item = Object[Key];
  if (Item.is_number_unsigned ()) {
    Value = Item.get<std::uint64_t>();
  } else if (Item.is_string ()) {
    bool  Dummy;
    UINT64  Parsed;
    if (!GetString (Object, Path, Key, Text, Dummy)) {
      return false;
    }

    if (!FruParseNumber (Text.c_str (), ~static_cast<UINT64>(0), &Parsed)) {
      return Fail (Join (Path, Key), "\"" + Text + "\" is not a number");
    }

    Value = Parsed;
  } else {
    return Fail (Join (Path, Key), Item.is_number () ? Item.dump () + " is not a whole number of 0 or more"
                                                     : std::string ("is ") + Item.type_name () + ", not a number");
  }

  if (Value > Max) {
    return Fail (Join (Path, Key), std::to_string (Value) + " is more than " + std::to_string (Max));
  }

  return true;
}

/**
  An area's offset and size members.
**/
bool
FRU_JSON_MAKER::GetPlacement (
  const FRU_JSON     &Object,
  const std::string  &Path,
  PLACED_AREA        &Placed,
  std::uint64_t      &Size,
  bool               &HasSize
  )
{
  std::uint64_t  Offset = 0;

  if (Object.contains ("error")) {
    return Fail (Join (Path, "error"), "the area failed its checks in the image this description was printed from; "
                                       "describe its contents instead");
  }

  if (!GetNumber (Object, Path, "offset", MAX_AREA_OFFSET, Offset, Placed.HasOffset) ||
      !GetNumber (Object, Path, "size", FRU_MAX_IMAGE_SIZE, Size, HasSize))
  {
    return false;
  }

  if (Placed.HasOffset && ((Offset % 8 != 0) || (Offset < FRU_HEADER_SIZE))) {
    return Fail (Join (Path, "offset"), std::to_string (Offset) + " is not a multiple of 8 past the common header");
  }

  Placed.Offset = static_cast<std::size_t>(Offset);
  return true;
}

/**
  Encode Value as a field of type Type (-1: the encoding that fits, as the
  `name = value` descriptions choose it).
**/
bool
FRU_JSON_MAKER::EncodeValue (
  const std::string          &Path,
  int                        Type,
  const std::string          &Value,
  std::vector<std::uint8_t>  &Field
  )
{
  std::vector<std::uint8_t>  Bytes;
  std::string                Why;

  if (!FruJsonLatin1OfText (Value, Bytes, Why)) {
    return Fail (Path, Why);
  }

  bool  Fits6Bit = std::all_of (Bytes.begin (), Bytes.end (), [](std::uint8_t Byte) { return (Byte >= 0x20) && (Byte <= 0x5F); });
  if (Type < 0) {
    std::vector<std::uint8_t>  Hex;
    if ((Value.size () > 2) && (Value.compare (0, 2, "0x") == 0) && FruJsonBytesOfHex (Value, FRU_MAX_FIELD_BYTES, Hex, Why)) {
      Type = FRU_TYPE_BINARY;
    } else {
      Type = (Fits6Bit && ((Bytes.size () == 1) || (Bytes.size () > FRU_MAX_FIELD_BYTES))) ? FRU_TYPE_6BIT : FRU_TYPE_8BIT;
    }
  }

  Field.clear ();
  switch (Type) {
    case FRU_TYPE_BINARY:
      if (!FruJsonBytesOfHex (Value, FRU_MAX_FIELD_BYTES, Field, Why)) {
        return Fail (Path, Why);
      }

      break;

    case FRU_TYPE_BCD_PLUS:
      for (std::uint8_t Byte : Bytes) {
        if ((Byte == 0) || (std::string (BCD_PLUS).find (static_cast<char>(Byte)) == std::string::npos)) {
          return Fail (Path, std::string ("'") + static_cast<char>(Byte) + "' is not in BCD plus (digits, space, - and .)");
        }
      }

      if ((Bytes.size () % 2 != 0) || (Bytes.size () / 2 > FRU_MAX_FIELD_BYTES)) {
        return Fail (Path, std::to_string (Bytes.size ()) + " characters; BCD plus holds an even number, at most 126");
      }

      for (std::size_t Index = 0; Index < Bytes.size (); Index += 2) {
        Field.push_back (static_cast<std::uint8_t>((std::string (BCD_PLUS).find (static_cast<char>(Bytes[Index])) << 4) |
                                                   std::string (BCD_PLUS).find (static_cast<char>(Bytes[Index + 1]))));
      }

      break;

    case FRU_TYPE_6BIT:
      if (!Fits6Bit) {
        return Fail (Path, "not in 6-bit ASCII (space to underscore: no lower case, no control characters)");
      }

      if ((Bytes.size () * 6 + 7) / 8 > FRU_MAX_FIELD_BYTES) {
        return Fail (Path, std::to_string (Bytes.size ()) + " characters, at most 84 in 6-bit ASCII");
      }

      Field.assign ((Bytes.size () * 6 + 7) / 8, 0);
      for (std::size_t Index = 0; Index < Bytes.size (); Index++) {
        std::uint32_t  Code = Bytes[Index] - 0x20u;
        std::size_t    Bit  = Index * 6;
        Field[Bit / 8] = static_cast<std::uint8_t>(Field[Bit / 8] | (Code << (Bit % 8)));
        if ((Bit % 8) > 2) {
          Field[Bit / 8 + 1] = static_cast<std::uint8_t>(Field[Bit / 8 + 1] | (Code >> (8 - Bit % 8)));
        }
      }

      break;

    default:
      if (Bytes.size () > FRU_MAX_FIELD_BYTES) {
        return Fail (Path, std::to_string (Bytes.size ()) + " characters, at most 63");
      }

      if (Bytes.size () == 1) {
        return Fail (Path, "one character cannot be text (its type/length byte would be 0xC1, the end of the fields); "
                           "give encoding 6bit for one in 6-bit ASCII");
      }

      Field = Bytes;
      break;
  }

  Field.insert (Field.begin (), static_cast<std::uint8_t>((Type << 6) | Field.size ()));
  return true;
}

bool
FRU_JSON_MAKER::BuildField (
  const FRU_JSON             &Object,
  const std::string          &Path,
  FRU_AREA                   Area,
  std::size_t                Index,
  std::vector<std::uint8_t>  &Bytes
  )
{
  std::string                Name, Encoding, Value, Hex, Why;
  bool                       HasName, HasEncoding, HasValue, HasHex;
  int                        Type = -1;
  std::vector<std::uint8_t>  Field;
  FRU_LINE                   Expected;

  if (!CheckKeys (Object, Path, { "name", "encoding", "value", "hex" }) ||
      !GetString (Object, Path, "name", Name, HasName) || !GetString (Object, Path, "encoding", Encoding, HasEncoding) ||
      !GetString (Object, Path, "value", Value, HasValue) || !GetString (Object, Path, "hex", Hex, HasHex))
  {
    return false;
  }

  FruLineReset (&Expected);
  FruLineAddFieldName (&Expected, Area, Index);
  if (HasName && (Name != Expected.Text)) {
    return Fail (Join (Path, "name"), "\"" + Name + "\", but this place holds " + Expected.Text +
                                      ": fields go in the order print lists them");
  }

  if (HasEncoding) {
    auto  Found = std::find (std::begin (ENCODING_NAMES), std::end (ENCODING_NAMES), Encoding);
    if (Found == std::end (ENCODING_NAMES)) {
      return Fail (Join (Path, "encoding"), "\"" + Encoding + "\" is not an encoding; expected text, 6bit, bcd_plus or binary");
    }

    Type = static_cast<int>(Found - std::begin (ENCODING_NAMES));
  }

  if (HasValue == HasHex) {
    return Fail (Path, HasValue ? "has both value and hex; give one" : "needs a value (or its bytes as hex)");
  }

  if (HasHex) {
    if (!FruJsonBytesOfHex (Hex, FRU_MAX_FIELD_BYTES, Field, Why)) {
      return Fail (Join (Path, "hex"), Why);
    }

    Type = (Type < 0) ? FRU_TYPE_BINARY : Type;
    if ((Type == FRU_TYPE_8BIT) && (Field.size () == 1)) {
      return Fail (Join (Path, "hex"), "one byte cannot be text: its type/length byte would be 0xC1, the end of the fields");
    }

    Field.insert (Field.begin (), static_cast<std::uint8_t>((Type << 6) | Field.size ()));
  } else if (!EncodeValue (Join (Path, "value"), Type, Value, Field)) {
    return false;
  }

  Bytes.insert (Bytes.end (), Field.begin (), Field.end ());
  return true;
}

bool
FRU_JSON_MAKER::BuildInfoArea (
  const FRU_JSON  &Object,
  FRU_AREA        Area,
  PLACED_AREA     &Placed
  )
{
  const std::string  &Path = Placed.Path;
  std::uint64_t      Size = 0, Code = 0;
  bool               HasSize, HasCode, Present;
  std::string        Date;
  UINT32             Minutes = 0;

  bool  Keys = (Area == FruAreaChassis) ? CheckKeys (Object, Path, { "offset", "size", "checksum", "type", "type_name", "fields", "error" })
             : (Area == FruAreaBoard)   ? CheckKeys (Object, Path, { "offset", "size", "checksum", "language", "mfg_date", "fields", "error" })
                                        : CheckKeys (Object, Path, { "offset", "size", "checksum", "language", "fields", "error" });
  if (!Keys || !GetPlacement (Object, Path, Placed, Size, HasSize) ||
      !GetNumber (Object, Path, (Area == FruAreaChassis) ? "type" : "language", 0xFF, Code, HasCode) ||
      !GetString (Object, Path, "mfg_date", Date, Present))
  {
    return false;
  }

  if (Present && !FruParseDate (Date.c_str (), &Minutes)) {
    return Fail (Join (Path, "mfg_date"), "\"" + Date + "\" is not a date YYYY-MM-DD HH:MM (UTC, 1996-01-01 00:00 to 2027-11-24 20:15) or unspecified");
  }

  std::vector<std::uint8_t>  &Bytes = Placed.Bytes;
  Bytes = { FRU_FORMAT_VERSION, 0, static_cast<std::uint8_t>(HasCode ? Code : (Area == FruAreaChassis) ? CHASSIS_UNKNOWN : LANGUAGE_ENGLISH) };
  if (Area == FruAreaBoard) {
    Bytes.push_back (static_cast<std::uint8_t>(Minutes));
    Bytes.push_back (static_cast<std::uint8_t>(Minutes >> 8));
    Bytes.push_back (static_cast<std::uint8_t>(Minutes >> 16));
  }

  if (Object.contains ("fields")) {
    const FRU_JSON  &Fields = Object["fields"];
    if (!Fields.is_array ()) {
      return Fail (Join (Path, "fields"), std::string ("is ") + Fields.type_name () + ", not an array");
    }

    for (std::size_t Index = 0; Index < Fields.size (); Index++) {
      if (!BuildField (Fields[Index], Join (Path, "fields") + "[" + std::to_string (Index) + "]", Area, Index, Bytes)) {
        return false;
      }
    }
  }

  Bytes.push_back (FRU_END_OF_FIELDS);
  std::size_t  Needed = Align8 (Bytes.size () + 1);
  if (Needed > FRU_MAX_AREA_SIZE) {
    return Fail (Join (Path, "fields"), "the area would need " + std::to_string (Needed) + " bytes, more than 2040");
  }

  if (HasSize && ((Size % 8 != 0) || (Size < Needed) || (Size > FRU_MAX_AREA_SIZE))) {
    return Fail (Join (Path, "size"), std::to_string (Size) + ", but the area needs a multiple of 8 from " +
                                      std::to_string (Needed) + " to 2040 bytes");
  }

  Bytes.resize ((HasSize ? static_cast<std::size_t>(Size) : Needed) - 1, 0);
  Bytes[1] = static_cast<std::uint8_t>((Bytes.size () + 1) / 8);
  Bytes.push_back (FruChecksum (Bytes.data (), Bytes.size ()));
  return true;
}

bool
FRU_JSON_MAKER::BuildInternalArea (
  const FRU_JSON  &Object,
  PLACED_AREA     &Placed
  )
{
  const std::string          &Path = Placed.Path;
  std::uint64_t              Size = 0;
  bool                       HasSize, HasData;
  std::string                Data, Why;
  std::vector<std::uint8_t>  Bytes;

  if (!CheckKeys (Object, Path, { "offset", "size", "data", "error" }) || !GetPlacement (Object, Path, Placed, Size, HasSize) ||
      !GetString (Object, Path, "data", Data, HasData))
  {
    return false;
  }

  if (!FruJsonBytesOfHex (Data, FRU_MAX_IMAGE_SIZE - 2 * FRU_HEADER_SIZE, Bytes, Why)) {
    return Fail (Join (Path, "data"), Why);
  }

  if (HasSize && ((Size < Bytes.size () + 1) || (Size > FRU_MAX_IMAGE_SIZE - FRU_HEADER_SIZE))) {
    return Fail (Join (Path, "size"), std::to_string (Size) + ", but the area takes the version byte and " +
                                      std::to_string (Bytes.size ()) + " data bytes");
  }

  Placed.Bytes = { FRU_FORMAT_VERSION };
  Placed.Bytes.insert (Placed.Bytes.end (), Bytes.begin (), Bytes.end ());
  Placed.Bytes.resize (HasSize ? static_cast<std::size_t>(Size) : Align8 (Placed.Bytes.size ()), 0);
  return true;
}

bool
FRU_JSON_MAKER::BuildRecord (
  const FRU_JSON             &Object,
  const std::string          &Path,
  bool                       Last,
  std::vector<std::uint8_t>  &Bytes
  )
{
  std::uint64_t              Type = 0, Format = 0;
  bool                       HasType, HasFormat, HasData;
  std::string                Data, Why;
  std::vector<std::uint8_t>  Record;

  if (!CheckKeys (Object, Path, { "type", "type_name", "format", "end_of_list", "checksum", "data", "decoded", "units", "note" }) ||
      !GetNumber (Object, Path, "type", 0xFF, Type, HasType) || !GetNumber (Object, Path, "format", 0x0F, Format, HasFormat) ||
      !GetString (Object, Path, "data", Data, HasData))
  {
    return false;
  }

  if (!HasType) {
    return Fail (Path, "needs a type");
  }

  if (HasFormat && (Format != (FRU_RECORD_VERSION & 0x0F))) {
    return Fail (Join (Path, "format"), std::to_string (Format) + " is not 2, the one record format");
  }

  if (Object.contains ("end_of_list")) {
    const FRU_JSON  &End = Object["end_of_list"];
    if (!End.is_boolean ()) {
      return Fail (Join (Path, "end_of_list"), std::string ("is ") + End.type_name () + ", not true or false");
    }

    if (End.get<bool>() != Last) {
      return Fail (Join (Path, "end_of_list"), Last ? "false, but this is the last record: the list ends with it"
                                                    : "true, but records follow: only the last record ends the list");
    }
  }

  if (!FruJsonBytesOfHex (Data, 0xFF, Record, Why)) {
    return Fail (Join (Path, "data"), Why);
  }

  //
  // Decoded values are what print shows of data; they must agree with it.
  //
  if (Object.contains ("decoded")) {
    FRU_JSON  Decoded = FruJsonDecodeRecord (static_cast<std::uint8_t>(Type), Record.data (), Record.size ());
    if (!Object["decoded"].is_object ()) {
      return Fail (Join (Path, "decoded"), std::string ("is ") + Object["decoded"].type_name () + ", not an object");
    }

    for (auto Item = Object["decoded"].begin (); Item != Object["decoded"].end (); ++Item) {
      if (!Decoded.contains ("decoded") || !Decoded["decoded"].contains (Item.key ())) {
        return Fail (Join (Path, "decoded." + Item.key ()), "not a value a record of this type and length holds");
      }

      if (Decoded["decoded"][Item.key ()] != Item.value ()) {
        return Fail (Join (Path, "decoded." + Item.key ()), Item.value ().dump () + ", but data holds " +
                     Decoded["decoded"][Item.key ()].dump () + "; the record is made from data: change data, or leave decoded out");
      }
    }
  }

  std::size_t  At = Bytes.size ();
  Bytes.push_back (static_cast<std::uint8_t>(Type));
  Bytes.push_back (static_cast<std::uint8_t>(FRU_RECORD_VERSION | (Last ? FRU_RECORD_END_OF_LIST : 0)));
  Bytes.push_back (static_cast<std::uint8_t>(Record.size ()));
  Bytes.push_back (FruChecksum (Record.data (), Record.size ()));
  Bytes.push_back (FruChecksum (Bytes.data () + At, 4));
  Bytes.insert (Bytes.end (), Record.begin (), Record.end ());
  return true;
}

bool
FRU_JSON_MAKER::BuildMultiRecordArea (
  const FRU_JSON  &Object,
  PLACED_AREA     &Placed
  )
{
  const std::string  &Path = Placed.Path;
  std::uint64_t      Size;
  bool               HasSize;

  //
  // The area's size is where its last record ends: shown, not taken.
  //
  if (!CheckKeys (Object, Path, { "offset", "size", "records", "error" }) || !GetPlacement (Object, Path, Placed, Size, HasSize)) {
    return false;
  }

  const FRU_JSON  Empty   = FRU_JSON::array ();
  const FRU_JSON  &Records = Object.contains ("records") ? Object["records"] : Empty;
  if (!Records.is_array () || Records.empty ()) {
    return Fail (Join (Path, "records"), Records.is_array () ? "no records; leave the multirecord area out instead"
                                                             : std::string ("is ") + Records.type_name () + ", not an array");
  }

  for (std::size_t Index = 0; Index < Records.size (); Index++) {
    if (!BuildRecord (Records[Index], Join (Path, "records") + "[" + std::to_string (Index) + "]", Index + 1 == Records.size (), Placed.Bytes)) {
      return false;
    }
  }

  return true;
}

/**
  Give each area its offset: the one given, or the next multiple of 8 after
  the areas before it. No two may overlap, and each must start where the
  common header can point.
**/
bool
FRU_JSON_MAKER::Place (
  std::vector<PLACED_AREA>  &Areas,
  std::size_t               &End
  )
{
  End = FRU_HEADER_SIZE;
  for (std::size_t Index = 0; Index < Areas.size (); Index++) {
    PLACED_AREA  &Area = Areas[Index];
    if (!Area.HasOffset) {
      Area.Offset = Align8 (End);
      if (Area.Offset > MAX_AREA_OFFSET) {
        return Fail (Area.Path, "would start at " + Offset (Area.Offset) + ", past " + Offset (MAX_AREA_OFFSET) +
                                ", the last offset the common header can give; make the areas before it smaller");
      }
    }

    for (std::size_t Other = 0; Other < Index; Other++) {
      const PLACED_AREA  &Before = Areas[Other];
      if ((Area.Offset < Before.Offset + Before.Bytes.size ()) && (Before.Offset < Area.Offset + Area.Bytes.size ())) {
        return Fail (Area.HasOffset ? Join (Area.Path, "offset") : Area.Path,
                     "the " + std::string (FruAreaName (Area.Area)) + " area at " + Offset (Area.Offset) + "-" +
                     Offset (Area.Offset + Area.Bytes.size () - 1) + " overlaps the " + FruAreaName (Before.Area) +
                     " area at " + Offset (Before.Offset) + "-" + Offset (Before.Offset + Before.Bytes.size () - 1));
      }
    }

    End = std::max (End, Area.Offset + Area.Bytes.size ());
  }

  if (End > FRU_MAX_IMAGE_SIZE) {
    return Fail ("", "the areas end at byte " + std::to_string (End) + ", past the 65536 a FRU device can have");
  }

  return true;
}

/**
  The common header's offsets as print --json shows them: each one given
  must be where its area is placed (0 for an area left out). They are shown,
  not taken: an area moves with its own offset.
**/
bool
FRU_JSON_MAKER::CheckHeaderOffsets (
  const FRU_JSON                  &Offsets,
  const std::vector<PLACED_AREA>  &Areas
  )
{
  if (!CheckKeys (Offsets, "header.offsets", { "internal", "chassis", "board", "product", "multirecord" })) {
    return false;
  }

  for (std::size_t Slot = FruAreaInternal; Slot < FruAreaCount; Slot++) {
    const char     *Name = FruAreaName (static_cast<FRU_AREA>(Slot));
    std::uint64_t  Given;
    bool           Present;
    std::size_t    Placed = 0;
    if (!GetNumber (Offsets, "header.offsets", Name, MAX_AREA_OFFSET, Given, Present)) {
      return false;
    }

    for (const PLACED_AREA &Area : Areas) {
      Placed = (Area.Area == static_cast<FRU_AREA>(Slot)) ? Area.Offset : Placed;
    }

    if (Present && (Given != Placed)) {
      return Fail (Join ("header.offsets", Name), std::to_string (Given) + ", but the " + Name + " area " +
                   ((Placed == 0) ? std::string ("is left out") : "is placed at " + std::to_string (Placed)) +
                   "; areas are placed by their own offset");
    }
  }

  return true;
}

bool
FRU_JSON_MAKER::Make (
  const FRU_JSON             &Root,
  std::vector<std::uint8_t>  &Image
  )
{
  std::vector<PLACED_AREA>  Areas;
  std::uint64_t             Size = 0, Version = 0;
  bool                      HasSize, HasVersion;
  std::size_t               End;

  if (!CheckKeys (Root, "", { "size", "header", "internal", "chassis", "board", "product", "multirecord", "errors" }) ||
      !GetNumber (Root, "", "size", FRU_MAX_IMAGE_SIZE, Size, HasSize))
  {
    return false;
  }

  if (Root.contains ("errors") && !(Root["errors"].is_array () && Root["errors"].empty ())) {
    return Fail ("errors", "the image this description was printed from failed its checks (" + Root["errors"].dump () +
                           "); make takes descriptions of good images only");
  }

  if (Root.contains ("header") &&
      (!CheckKeys (Root["header"], "header", { "version", "checksum", "offsets" }) || !GetNumber (Root["header"], "header", "version", 0xFF, Version, HasVersion)))
  {
    return false;
  }

  if (Root.contains ("header") && HasVersion && (Version != FRU_FORMAT_VERSION)) {
    return Fail ("header.version", std::to_string (Version) + " is not 1, the one format version");
  }

  for (std::size_t Slot = FruAreaInternal; Slot < FruAreaCount; Slot++) {
    FRU_AREA     Area = static_cast<FRU_AREA>(Slot);
    std::string  Name = FruAreaName (Area);
    if (!Root.contains (Name)) {
      continue;
    }

    PLACED_AREA  Placed = { Area, Name, false, 0, {} };
    bool         Built  = (Area == FruAreaInternal)    ? BuildInternalArea (Root[Name], Placed)
                        : (Area == FruAreaMultiRecord) ? BuildMultiRecordArea (Root[Name], Placed)
                                                       : BuildInfoArea (Root[Name], Area, Placed);
    if (!Built) {
      return false;
    }

    Areas.push_back (std::move (Placed));
  }

  if (!Place (Areas, End)) {
    return false;
  }

  if (Root.contains ("header") && Root["header"].contains ("offsets") && !CheckHeaderOffsets (Root["header"]["offsets"], Areas)) {
    return false;
  }

  if (HasSize && ((Size < End) || (Size < FRU_HEADER_SIZE))) {
    return Fail ("size", std::to_string (Size) + " bytes, but the areas end at byte " + std::to_string (End));
  }

  Image.assign (HasSize ? static_cast<std::size_t>(Size) : End, 0);
  Image[0] = FRU_FORMAT_VERSION;
  for (const PLACED_AREA &Area : Areas) {
    Image[Area.Area] = static_cast<std::uint8_t>(Area.Offset / 8);
    std::copy (Area.Bytes.begin (), Area.Bytes.end (), Image.begin () + static_cast<std::ptrdiff_t>(Area.Offset));
  }

  Image[FRU_HEADER_SIZE - 1] = FruChecksum (Image.data (), FRU_HEADER_SIZE - 1);
  return true;
}

}  // namespace

bool
FruJsonLooksLikeJson (
  const std::string  &Text
  )
{
  std::size_t  First = Text.find_first_not_of (" \t\r\n");

  return (First != std::string::npos) && (Text[First] == '{');
}

bool
FruJsonMake (
  const std::string          &Text,
  const FRU_JSON_LOOKUP      &Lookup,
  std::vector<std::uint8_t>  &Image,
  std::string                &Error
  )
{
  FRU_JSON  Root;

  Image.clear ();
  if (Nesting (Text) > MAX_NESTING) {
    Error = "not a description: nested deeper than " + std::to_string (MAX_NESTING) + " levels";
    return false;
  }

  //
  // A syntax error is a parse_error, a number past a double's range an
  // out_of_range: either refuses the description.
  //
  try {
    Root = FRU_JSON::parse (Text);
  } catch (const FRU_JSON::exception &Parse) {
    std::string  What  = Parse.what ();
    std::size_t  Start = What.find ("] ");
    Error = "not JSON: " + ((Start == std::string::npos) ? What : What.substr (Start + 2));
    return false;
  }

  //
  // The maker checks every type before it reads a value, so the library
  // should not throw; should it, the description is refused all the same.
  //
  try {
    FRU_JSON_MAKER  Maker (Lookup, Error);
    if (!Maker.Make (Root, Image)) {
      Image.clear ();
      return false;
    }
  } catch (const FRU_JSON::exception &Unexpected) {
    Image.clear ();
    Error = std::string ("cannot be read: ") + Unexpected.what ();
    return false;
  }

  //
  // The image must decode: anything else is a fault here, not in the description.
  //
  std::size_t  Errors;
  FRU_JSON     Check = FruJsonPrint (Image.data (), Image.size (), &Errors);
  if (Errors != 0) {
    Error = "the made image does not pass its checks: " + Check["errors"][0].get<std::string>();
    Image.clear ();
    return false;
  }

  return true;
}
