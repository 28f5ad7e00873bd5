/** @file
  Field values of the FRU format as text and back: the four type/length
  encodings, the board's manufacturing date and the chassis type.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_VALUE_H_
#define FRU_VALUE_H_

#include <Library/FruFormat.h>
#include <Library/FruText.h>

///
/// A type/length byte and up to 63 data bytes, ready to be laid into an area.
///
typedef struct {
  UINT8    Bytes[1 + FRU_MAX_FIELD_BYTES];
  UINTN    Size;
} FRU_ENCODED_FIELD;

/**
  Add the value of Field as text: 8-bit ASCII/Latin-1 as is, and 6-bit
  packed ASCII four characters per three bytes, both with bytes outside
  printable ASCII and the backslash as \xHH; BCD plus two digits a byte,
  high nibble first; binary as 0x and hex digits.
**/
VOID
FruLineAddFieldValue (
  IN OUT FRU_LINE         *Line,
  IN     CONST UINT8      *Data,
  IN     CONST FRU_FIELD  *Field
  );

/**
  Encode Value for a field that had type OldType: "" is an empty field; 0x
  and an even number of hex digits is binary; BCD plus and 6-bit ASCII are
  kept when they hold Value exactly; otherwise 8-bit ASCII/Latin-1, or 6-bit
  ASCII when that is the only encoding that holds it (a single character,
  since 0xC1 ends the field list; or more than 63 characters).
**/
FRU_STATUS
FruEncodeValue (
  IN  CONST CHAR8        *Value,
  IN  UINT8              OldType,
  OUT FRU_ENCODED_FIELD  *Field
  );

/**
  Minutes since 1996-01-01 00:00 UTC as "YYYY-MM-DD HH:MM"; 0 is "unspecified".
**/
VOID
FruLineAddDate (
  IN OUT FRU_LINE  *Line,
  IN     UINT32    Minutes
  );

/**
  Parse "YYYY-MM-DD HH:MM" (UTC) or "unspecified" into minutes since
  1996-01-01 00:00; fails outside what 24 bits hold.
**/
BOOLEAN
FruParseDate (
  IN  CONST CHAR8  *Text,
  OUT UINT32       *Minutes
  );

/**
  Add the chassis type as its number and, when known, its name in brackets.
**/
VOID
FruLineAddChassisType (
  IN OUT FRU_LINE  *Line,
  IN     UINT8     Type
  );

#endif
