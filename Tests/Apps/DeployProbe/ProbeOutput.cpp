/** @file
  Output and table pointers of the deployment apps.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "ProbeOutput.h"

EFI_SYSTEM_TABLE      *gProbeSt;
EFI_BOOT_SERVICES     *gProbeBs;
EFI_RUNTIME_SERVICES  *gProbeRt;

VOID
ProbeInitialize (
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  gProbeSt = SystemTable;
  gProbeBs = SystemTable->BootServices;
  gProbeRt = SystemTable->RuntimeServices;
  ReportInit (SystemTable);
}

VOID
PutWide (
  IN CONST CHAR16  *Text,
  IN UINTN         MaxChars
  )
{
  CHAR8  Narrow[2] = { 0, 0 };

  for (UINTN Index = 0; Index < MaxChars && Text[Index] != 0; Index++) {
    CHAR16  Char = Text[Index];
    Narrow[0] = (Char >= 0x20 && Char < 0x7F) ? static_cast<CHAR8>(Char) : '?';
    Put (Narrow);
  }
}

VOID
PutGuid (
  IN CONST EFI_GUID  &Guid
  )
{
  PutHex (Guid.Data1, 8);
  Put ("-");
  PutHex (Guid.Data2, 4);
  Put ("-");
  PutHex (Guid.Data3, 4);
  Put ("-");
  PutHex (Guid.Data4[0], 2);
  PutHex (Guid.Data4[1], 2);
  Put ("-");
  for (UINTN Index = 2; Index < 8; Index++) {
    PutHex (Guid.Data4[Index], 2);
  }
}

