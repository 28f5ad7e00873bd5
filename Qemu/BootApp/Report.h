/** @file
  The boot app's report: text on debug port 0xE9 (captured by the harness) and
  on the console.
**/

#ifndef BOOT_APP_REPORT_H_
#define BOOT_APP_REPORT_H_

#include <Uefi.h>

/**
  Keep the system table whose console the report is echoed to.
**/
VOID
ReportInit (
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

/**
  Write a NUL-terminated text.
**/
VOID
Put (
  IN CONST CHAR8  *Text
  );

/**
  Write Value as exactly Digits upper-case hex digits (at most 16).
**/
VOID
PutHex (
  IN UINT64  Value,
  IN UINTN   Digits
  );

/**
  Write Value in decimal.
**/
VOID
PutDec (
  IN UINT64  Value
  );

/**
  Write "Label=Value", or "Label=error:N" for an error status.
**/
VOID
PutStatus (
  IN CONST CHAR8  *Label,
  IN EFI_STATUS   Status
  );

#endif
