/** @file
  The check the test apps make of the FRU access protocol's refusal of a
  write that would run past offset 0xFFFF.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_WRITE_CHECK_H_
#define FRU_WRITE_CHECK_H_

#include <Uefi.h>
#include <Protocol/FruAccess.h>

/**
  Ask for a 17-byte write at offset 0xFFF0 of FRU device 0, which would wrap
  to offset 0 and overwrite the common header, and report
  "TAVRI fru-write-past-end status=<status> count=<count>". The driver must
  refuse it before sending anything, with the count left at 17.

  @param[in]  Fru  The FRU access protocol.
**/
VOID
ReportWritePastEnd (
  IN FRU_ACCESS_PROTOCOL  *Fru
  );

#endif
