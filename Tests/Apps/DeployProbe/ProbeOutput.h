/** @file
  Output and table pointers of the deployment apps. Report lines go through
  the shared report port (debug port 0xE9, echoed on the console); this adds
  what the apps print beyond it: CHAR16 text and GUIDs.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef PROBE_OUTPUT_H_
#define PROBE_OUTPUT_H_

#include <Uefi.h>

#include <Library/TavriBaseLib.h>
#include "../Common/ReportPort.h"

extern EFI_SYSTEM_TABLE      *gProbeSt;
extern EFI_BOOT_SERVICES     *gProbeBs;
extern EFI_RUNTIME_SERVICES  *gProbeRt;

/**
  Keep the table pointers every other probe function uses, and start the
  report.
**/
VOID
ProbeInitialize (
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

/**
  Write a CHAR16 string, each character outside printable ASCII as '?'.
  At most MaxChars characters are written.
**/
VOID
PutWide (
  IN CONST CHAR16  *Text,
  IN UINTN         MaxChars
  );

/**
  Write a GUID in its registry format.
**/
VOID
PutGuid (
  IN CONST EFI_GUID  &Guid
  );


#endif
