/** @file
  What a boot left behind, as the deployment tests read it: the firmware and
  its Secure Boot state, the images loaded from a file system and who loaded
  them, the two setup variables, the IIO source HOB, and the FRU access
  protocol with a read through it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef PROBE_REPORT_H_
#define PROBE_REPORT_H_

#include <Uefi.h>

/**
  "TAVRI firmware ..." with the vendor, the UEFI revision and SecureBoot.
**/
VOID
ReportFirmware (
  VOID
  );

/**
  One "TAVRI image ..." line for every image loaded from a file path, other
  than Self, with the path of the image that loaded it (its parent).
**/
VOID
ReportLoadedImages (
  IN EFI_HANDLE  Self
  );

/**
  "TAVRI pm ..." and "TAVRI iio ..." lines: status, size, selector and how
  many preset bytes are in force, the import switch, a CRC32 of each
  variable, and whether the HOB list carries the IIO source HOB.
**/
VOID
ReportSetupVariables (
  VOID
  );

/**
  "TAVRI fru-protocol ..."; when the protocol is there, a read of the first
  256 bytes of FRU device 0 through it, as "TAVRI fru-data" rows.
**/
VOID
ReportFruAccess (
  VOID
  );

#endif
