/** @file
  The decoded values of one multi-record record as JSON, from the lines
  print shows for it, so that both outputs decode a record alike: numbers
  with their units apart, yes/no as booleans, flags as numbers, the rest
  (code masks, access records) as print's text.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruJsonText.h"

#include <cstdlib>

#include <Library/FruRecords.h>

namespace {

VOID
Collect (
  VOID         *Context,
  CONST CHAR8  *Line
  )
{
  static_cast<std::vector<std::string> *>(Context)->emplace_back (Line);
}

/**
  Put the value print shows as Text under Name: "-12000 mV" becomes -12000
  with unit mV, "yes" true, "0x0B" 11.
**/
VOID
AddValue (
  FRU_JSON           &Out,
  const std::string  &Name,
  const std::string  &Text
  )
{
  std::size_t  Digits = (!Text.empty () && (Text[0] == '-')) ? 1 : 0;
  std::size_t  End    = Digits;

  while ((End < Text.size ()) && (Text[End] >= '0') && (Text[End] <= '9')) {
    End++;
  }

  if ((Name != "code_mask") && (End > Digits) && ((End == Text.size ()) || (Text[End] == ' '))) {
    Out["decoded"][Name] = std::strtoll (Text.c_str (), nullptr, 10);
    if (End < Text.size ()) {
      Out["units"][Name] = Text.substr (End + 1);
    }
  } else if ((Text == "yes") || (Text == "no")) {
    Out["decoded"][Name] = (Text == "yes");
  } else if ((Text.size () == 4) && (Text.compare (0, 2, "0x") == 0)) {
    Out["decoded"][Name] = std::strtoul (Text.c_str () + 2, nullptr, 16);
  } else {
    Out["decoded"][Name] = Text;
  }
}

}  // namespace

FRU_JSON
FruJsonDecodeRecord (
  std::uint8_t        Type,
  const std::uint8_t  *Bytes,
  std::size_t         Count
  )
{
  //
  // The record alone, as the last of a list, with good checksums.
  //
  std::vector<std::uint8_t>  Record (FRU_RECORD_HEADER + Count);
  Record[0] = Type;
  Record[1] = FRU_RECORD_VERSION | FRU_RECORD_END_OF_LIST;
  Record[2] = static_cast<std::uint8_t>(Count);
  for (std::size_t Index = 0; Index < Count; Index++) {
    Record[FRU_RECORD_HEADER + Index] = Bytes[Index];
  }

  Record[3] = FruChecksum (Record.data () + FRU_RECORD_HEADER, Count);
  Record[4] = FruChecksum (Record.data (), 4);

  std::vector<std::string>  Lines;
  FRU_OUTPUT                Output = { Collect, &Lines };
  FruPrintRecords (Record.data (), Record.size (), 0, &Output);

  FRU_JSON  Out = FRU_JSON::object ();
  for (const std::string &Line : Lines) {
    const std::string  Prefix = "multirecord.1.";
    std::size_t        Colon  = Line.find (": ");
    if ((Line.compare (0, Prefix.size (), Prefix) != 0) || (Colon == std::string::npos)) {
      continue;
    }

    std::string  Name  = Line.substr (Prefix.size (), Colon - Prefix.size ());
    std::string  Value = Line.substr (Colon + 2);
    if ((Name == "type") || (Name == "data")) {
      continue;
    }

    if (Name == "decoded") {
      Out["note"] = Value;
    } else if (Name == "access") {
      std::size_t  Split = Value.find (": ");
      Out["decoded"]["access"] = Value.substr (0, Split);
      Out["decoded"]["value"]  = (Split == std::string::npos) ? "" : Value.substr (Split + 2);
    } else {
      AddValue (Out, Name, Value);
    }
  }

  return Out;
}
