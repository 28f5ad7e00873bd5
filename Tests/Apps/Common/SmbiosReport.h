/** @file
  Reporting SMBIOS types 1, 2 and 3 as the firmware's table holds them, on
  the report port:

    TAVRI smbios-entry <anchor> version=<major>.<minor>
    TAVRI smbios <phase> type=1 handle=0x.... manufacturer="..." product="..." version="..." serial="..." sku="..."
    TAVRI smbios <phase> type=2 handle=0x.... manufacturer="..." product="..." version="..." serial="..." asset="..."
    TAVRI smbios <phase> type=3 handle=0x.... chassis-type=0x.. manufacturer="..." version="..." serial="..." asset="..."
    TAVRI smbios <phase> type=N none

  A string field without a string prints as "", and bytes outside printable
  ASCII, the quote and the backslash as \xHH.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SMBIOS_REPORT_H_
#define SMBIOS_REPORT_H_

#include <Uefi.h>

/**
  Report the first structure of each of types 1, 2 and 3 under Phase, found
  through the 64-bit entry point, else the 32-bit one.
**/
VOID
ReportSmbiosTypes (
  IN EFI_SYSTEM_TABLE  *SystemTable,
  IN CONST CHAR8       *Phase
  );

#endif
