/** @file
  Reporting from the test apps on debug port 0xE9.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "ReportPort.h"
#include <Library/IoLib.h>
#include <Library/TavriBaseLib.h>

namespace {

constexpr UINT16  REPORT_PORT = 0xE9;

EFI_SYSTEM_TABLE  *mReportSt = NULL;

}  // namespace

VOID
ReportInit (
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  mReportSt = SystemTable;
}

VOID
Put (
  IN CONST CHAR8  *Text
  )
{
  CHAR16  Wide[2] = { 0, 0 };

  for ( ; *Text != 0; Text++) {
    IoWrite8 (REPORT_PORT, static_cast<UINT8>(*Text));
    if ((mReportSt != NULL) && (mReportSt->ConOut != NULL)) {
      if (*Text == '\n') {
        Wide[0] = u'\r';
        mReportSt->ConOut->OutputString (mReportSt->ConOut, Wide);
      }

      Wide[0] = static_cast<CHAR16>(*Text);
      mReportSt->ConOut->OutputString (mReportSt->ConOut, Wide);
    }
  }
}

VOID
PutHex (
  IN UINT64  Value,
  IN UINTN   Digits
  )
{
  TAVRI_NUMBER_TEXT  Text;

  //
  // Exactly Digits digits: the value is cut to them, as a byte or a word is
  // printed whatever the width of the type it came in.
  //
  if ((Digits > 0) && (Digits < 16)) {
    Value &= (1ULL << (4 * Digits)) - 1;
  }

  Put (TavriHexText (Value, Digits, &Text));
}

VOID
PutDec (
  IN UINT64  Value
  )
{
  TAVRI_NUMBER_TEXT  Text;

  Put (TavriDecimalText (Value, &Text));
}

VOID
PutFruDataRows (
  IN CONST UINT8  *Data,
  IN UINTN        Size
  )
{
  for (UINTN Row = 0; Row < Size; Row += 16) {
    Put ("TAVRI fru-data ");
    PutHex (Row, 4);
    for (UINTN Col = 0; (Col < 16) && (Row + Col < Size); Col++) {
      Put (" ");
      PutHex (Data[Row + Col], 2);
    }

    Put ("\n");
  }
}

VOID
PutStatus (
  IN CONST CHAR8  *Label,
  IN EFI_STATUS   Status
  )
{
  Put (Label);
  Put ("=");
  if (EFI_ERROR (Status)) {
    Put ("error:");
    PutDec (Status & ~MAX_BIT);
  } else {
    PutDec (Status);
  }
}
