/** @file
  Deployment probe: a UEFI application that an engineer (or a test) runs from
  the shell after the driver was deployed, to see what the boot left behind.
  It loads nothing and changes nothing but what a FRU read does; it reports
  on debug port 0xE9 and the console and returns to the shell.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>

#include "ProbeOutput.h"
#include "ProbeReport.h"

extern "C" EFI_STATUS EFIAPI DeployProbeEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

EFI_STATUS
EFIAPI
DeployProbeEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  ProbeInitialize (SystemTable);
  Put ("TAVRI probe\n");
  ReportFirmware ();
  ReportLoadedImages (ImageHandle);
  ReportSetupVariables ();
  ReportFruAccess ();
  Put ("TAVRI probe done\n");
  return EFI_SUCCESS;
}
