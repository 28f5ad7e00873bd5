/** @file
  Decimal and hex text of unsigned numbers, for reports and printed fields.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/TavriBaseLib.h>

constexpr UINTN  MAX_HEX_DIGITS = 16;

static_assert (sizeof (TAVRI_NUMBER_TEXT::Text) >= 20 + 1, "every UINT64 in decimal, and the NUL");
static_assert (sizeof (TAVRI_NUMBER_TEXT::Text) >= MAX_HEX_DIGITS + 1, "every UINT64 in hex, and the NUL");

CONST CHAR8 *
EFIAPI
TavriDecimalText (
  IN  UINT64             Value,
  OUT TAVRI_NUMBER_TEXT  *Buffer
  )
{
  UINTN  At = sizeof (Buffer->Text) - 1;

  Buffer->Text[At] = 0;
  do {
    Buffer->Text[--At] = static_cast<CHAR8>('0' + Value % 10);
    Value             /= 10;
  } while (Value != 0);

  return &Buffer->Text[At];
}

CONST CHAR8 *
EFIAPI
TavriHexText (
  IN  UINT64             Value,
  IN  UINTN              MinDigits,
  OUT TAVRI_NUMBER_TEXT  *Buffer
  )
{
  UINTN  Digits = 1;

  while ((Digits < MAX_HEX_DIGITS) && ((Value >> (4 * Digits)) != 0)) {
    Digits++;
  }

  if (Digits < MinDigits) {
    Digits = (MinDigits > MAX_HEX_DIGITS) ? MAX_HEX_DIGITS : MinDigits;
  }

  for (UINTN Index = 0; Index < Digits; Index++) {
    Buffer->Text[Digits - 1 - Index] = "0123456789ABCDEF"[(Value >> (4 * Index)) & 0xF];
  }

  Buffer->Text[Digits] = 0;
  return Buffer->Text;
}
