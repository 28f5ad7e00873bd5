/** @file
  The test apps' check of a FRU write that would run past offset 0xFFFF.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruWriteCheck.h"
#include "ReportPort.h"

VOID
ReportWritePastEnd (
  IN FRU_ACCESS_PROTOCOL  *Fru
  )
{
  UINT8       Data[17];
  UINTN       Size = sizeof (Data);
  EFI_STATUS  Status;

  for (UINTN Index = 0; Index < sizeof (Data); Index++) {
    Data[Index] = 0xEE;
  }

  Status = Fru->WriteFruData (0, 0xFFF0, &Size, Data);
  Put ("TAVRI fru-write-past-end ");
  PutStatus ("status", Status);
  Put (" count=");
  PutDec (Size);
  Put ("\n");
}
