/** @file
  Bounded line building, number parsing and string helpers for the FRU tools.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruText.h>
#include <Library/TavriBaseLib.h>

VOID
FruLineReset (
  OUT FRU_LINE  *Line
  )
{
  Line->Length  = 0;
  Line->Text[0] = 0;
}

VOID
FruLineAddChar (
  IN OUT FRU_LINE  *Line,
  IN     CHAR8     Char
  )
{
  if (Line->Length + 1 < FRU_LINE_MAX) {
    Line->Text[Line->Length++] = Char;
    Line->Text[Line->Length]   = 0;
  }
}

VOID
FruLineAdd (
  IN OUT FRU_LINE     *Line,
  IN     CONST CHAR8  *Text
  )
{
  for ( ; *Text != 0; Text++) {
    FruLineAddChar (Line, *Text);
  }
}

VOID
FruLineAddDec (
  IN OUT FRU_LINE  *Line,
  IN     UINT64    Value
  )
{
  TAVRI_NUMBER_TEXT  Text;

  FruLineAdd (Line, TavriDecimalText (Value, &Text));
}

VOID
FruLineAddHex (
  IN OUT FRU_LINE  *Line,
  IN     UINT64    Value,
  IN     UINTN     Digits
  )
{
  TAVRI_NUMBER_TEXT  Text;

  FruLineAdd (Line, TavriHexText (Value, Digits, &Text));
}

VOID
FruLineAddOffset (
  IN OUT FRU_LINE  *Line,
  IN     UINT64    Value
  )
{
  FruLineAdd (Line, "0x");
  FruLineAddHex (Line, Value, 4);
}

VOID
FruPrintLine (
  IN CONST FRU_OUTPUT  *Output,
  IN CONST FRU_LINE    *Line
  )
{
  Output->Print (Output->Context, Line->Text);
}

UINTN
FruStrLen (
  IN CONST CHAR8  *Text
  )
{
  UINTN  Length = 0;

  while (Text[Length] != 0) {
    Length++;
  }

  return Length;
}

BOOLEAN
FruStrEq (
  IN CONST CHAR8  *A,
  IN CONST CHAR8  *B
  )
{
  for ( ; (*A != 0) && (*A == *B); A++, B++) {
  }

  return *A == *B;
}

BOOLEAN
FruParseNumber (
  IN  CONST CHAR8  *Text,
  IN  UINT64       Max,
  OUT UINT64       *Value
  )
{
  UINT64  Base   = 10;
  UINT64  Result = 0;

  if ((Text[0] == '0') && ((Text[1] == 'x') || (Text[1] == 'X'))) {
    Base  = 16;
    Text += 2;
  }

  if (*Text == 0) {
    return FALSE;
  }

  for ( ; *Text != 0; Text++) {
    UINT64  Digit;
    if ((*Text >= '0') && (*Text <= '9')) {
      Digit = static_cast<UINT64>(*Text - '0');
    } else if ((Base == 16) && (*Text >= 'a') && (*Text <= 'f')) {
      Digit = static_cast<UINT64>(*Text - 'a') + 10;
    } else if ((Base == 16) && (*Text >= 'A') && (*Text <= 'F')) {
      Digit = static_cast<UINT64>(*Text - 'A') + 10;
    } else {
      return FALSE;
    }

    if (Result > (Max - Digit) / Base) {
      return FALSE;
    }

    Result = Result * Base + Digit;
  }

  *Value = Result;
  return TRUE;
}
