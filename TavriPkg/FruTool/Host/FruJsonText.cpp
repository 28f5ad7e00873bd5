/** @file
  Hex, Latin-1 in UTF-8 and ${NAME} replacement for frutool's JSON.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruJsonText.h"

#include <cstdio>

namespace {

int
HexDigit (
  char  Char
  )
{
  if ((Char >= '0') && (Char <= '9')) {
    return Char - '0';
  }

  if ((Char >= 'A') && (Char <= 'F')) {
    return Char - 'A' + 10;
  }

  return ((Char >= 'a') && (Char <= 'f')) ? Char - 'a' + 10 : -1;
}

}  // namespace

std::string
FruJsonHex (
  const std::uint8_t  *Bytes,
  std::size_t         Count
  )
{
  static const char  Digits[] = "0123456789ABCDEF";
  std::string        Text;

  for (std::size_t Index = 0; Index < Count; Index++) {
    Text += Digits[Bytes[Index] >> 4];
    Text += Digits[Bytes[Index] & 0xF];
  }

  return Text;
}

bool
FruJsonBytesOfHex (
  const std::string          &Text,
  std::size_t                Max,
  std::vector<std::uint8_t>  &Bytes,
  std::string                &Why
  )
{
  std::size_t  At = ((Text.size () >= 2) && (Text[0] == '0') && ((Text[1] == 'x') || (Text[1] == 'X'))) ? 2 : 0;

  Bytes.clear ();
  if ((Text.size () - At) % 2 != 0) {
    Why = "an odd number of hex digits";
    return false;
  }

  for ( ; At < Text.size (); At += 2) {
    int  High = HexDigit (Text[At]);
    int  Low  = HexDigit (Text[At + 1]);
    if ((High < 0) || (Low < 0)) {
      Why = "not hex digits";
      return false;
    }

    Bytes.push_back (static_cast<std::uint8_t>(High * 16 + Low));
  }

  if (Bytes.size () > Max) {
    Why = std::to_string (Bytes.size ()) + " bytes, at most " + std::to_string (Max);
    return false;
  }

  return true;
}

std::string
FruJsonTextOfLatin1 (
  const std::uint8_t  *Bytes,
  std::size_t         Count
  )
{
  std::string  Text;

  for (std::size_t Index = 0; Index < Count; Index++) {
    std::uint8_t  Byte = Bytes[Index];
    if (Byte < 0x80) {
      if ((Byte == '{') && !Text.empty () && (Text.back () == '$')) {
        Text.insert (Text.size () - 1, 1, '$');
      }

      Text += static_cast<char>(Byte);
    } else {
      Text += static_cast<char>(0xC0 | (Byte >> 6));
      Text += static_cast<char>(0x80 | (Byte & 0x3F));
    }
  }

  return Text;
}

bool
FruJsonLatin1OfText (
  const std::string          &Text,
  std::vector<std::uint8_t>  &Bytes,
  std::string                &Why
  )
{
  Bytes.clear ();
  for (std::size_t At = 0; At < Text.size (); At++) {
    auto  Byte = static_cast<std::uint8_t>(Text[At]);
    if (Byte < 0x80) {
      Bytes.push_back (Byte);
      continue;
    }

    //
    // A lead byte of C2 or C3 and a continuation byte is a character up to
    // U+00FF; anything else lies past Latin-1 or, in a value taken from the
    // environment, is not UTF-8 at all.
    //
    std::uint8_t  Next = (At + 1 < Text.size ()) ? static_cast<std::uint8_t>(Text[At + 1]) : 0;
    if (((Byte == 0xC2) || (Byte == 0xC3)) && ((Next & 0xC0) == 0x80)) {
      Bytes.push_back (static_cast<std::uint8_t>(((Byte & 0x03) << 6) | (static_cast<std::uint8_t>(Text[At + 1]) & 0x3F)));
      At++;
      continue;
    }

    if ((Byte < 0xC2) || (Byte > 0xF4) || ((Next & 0xC0) != 0x80)) {
      Why = "not UTF-8 text (a byte 0x" + FruJsonHex (&Byte, 1) + " out of place)";
      return false;
    }

    std::uint32_t  Code  = 0;
    std::size_t    Extra = (Byte >= 0xF0) ? 3 : (Byte >= 0xE0) ? 2 : 1;
    Code = Byte & (0x3F >> Extra);
    for (std::size_t Index = 1; (Index <= Extra) && (At + Index < Text.size ()); Index++) {
      Code = (Code << 6) | (static_cast<std::uint8_t>(Text[At + Index]) & 0x3F);
    }

    char  Name[16];
    std::snprintf (Name, sizeof (Name), "U+%04X", static_cast<unsigned>(Code));
    Why = std::string ("the character ") + Name + " is not in Latin-1, which text fields hold";
    return false;
  }

  return true;
}

bool
FruJsonExpand (
  const std::string      &Text,
  const FRU_JSON_LOOKUP  &Lookup,
  std::string            &Out,
  std::string            &Why
  )
{
  Out.clear ();
  for (std::size_t At = 0; At < Text.size (); At++) {
    if (Text.compare (At, 3, "$${") == 0) {
      Out += "${";
      At  += 2;
      continue;
    }

    if (Text.compare (At, 2, "${") != 0) {
      Out += Text[At];
      continue;
    }

    std::size_t  Close = Text.find ('}', At + 2);
    if (Close == std::string::npos) {
      Why = "${ without }";
      return false;
    }

    std::string  Name  = Text.substr (At + 2, Close - At - 2);
    const char   *Value = Lookup ? Lookup (Name) : nullptr;
    if (Value == nullptr) {
      Why = "${" + Name + "} is not set in the environment";
      return false;
    }

    Out += Value;
    At   = Close;
  }

  return true;
}
