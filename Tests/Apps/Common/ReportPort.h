/** @file
  Reporting from the test apps: text lines written to debug port 0xE9, which
  QEMU captures into a file, and echoed on the console when there is one.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef REPORT_PORT_H_
#define REPORT_PORT_H_

#include <Uefi.h>

/**
  Remember the system table whose console echoes the report.
**/
VOID
ReportInit (
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

/**
  Write text to the report.
**/
VOID
Put (
  IN CONST CHAR8  *Text
  );

/**
  Write a value in hexadecimal, Digits digits wide (at most 16).
**/
VOID
PutHex (
  IN UINT64  Value,
  IN UINTN   Digits
  );

/**
  Write a value in decimal.
**/
VOID
PutDec (
  IN UINT64  Value
  );

/**
  Write bytes read from a FRU device as "TAVRI fru-data OFFSET B0 B1 ..." rows
  of 16, the form the harness reads back.
**/
VOID
PutFruDataRows (
  IN CONST UINT8  *Data,
  IN UINTN        Size
  );

/**
  Write "Label=N" for a status N, or "Label=error:N" for an error status.
**/
VOID
PutStatus (
  IN CONST CHAR8  *Label,
  IN EFI_STATUS   Status
  );

#endif
