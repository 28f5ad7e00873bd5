/** @file
  Reporting from the test apps on debug port 0xE9.
**/

#include "ReportPort.h"
#include <Library/IoLib.h>

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
  CHAR8  Text[17];

  Digits = (Digits > 16) ? 16 : Digits;
  for (UINTN Index = 0; Index < Digits; Index++) {
    Text[Digits - 1 - Index] = "0123456789ABCDEF"[(Value >> (4 * Index)) & 0xF];
  }

  Text[Digits] = 0;
  Put (Text);
}

VOID
PutDec (
  IN UINT64  Value
  )
{
  CHAR8  Text[21];
  UINTN  At = sizeof (Text) - 1;

  Text[At] = 0;
  do {
    Text[--At] = static_cast<CHAR8>('0' + Value % 10);
    Value /= 10;
  } while (Value != 0);

  Put (&Text[At]);
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
