/** @file
  A list of FRU reads and writes handed to the boot app by the harness (the
  fw_cfg file "opt/tavri/fru-ops"), run through the FRU access protocol with
  the status, count and bytes of each reported.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef BOOT_APP_FRU_OPS_H_
#define BOOT_APP_FRU_OPS_H_

#include <Uefi.h>
#include <Protocol/FruAccess.h>
#include <Protocol/IpmiTransport.h>

/**
  Run the harness's FRU operations, if it gave any. One line per operation:

    read DEV OFFSET COUNT          ReadFruData, bytes reported
    write DEV OFFSET COUNT SEED    WriteFruData of bytes SEED + 7 * i
    wait-bmc                       Get Device ID until the BMC answers 0x00

  Numbers are hex. Blank lines and lines starting with '#' are skipped.
**/
VOID
RunFruOps (
  IN EFI_BOOT_SERVICES        *BootServices,
  IN FRU_ACCESS_PROTOCOL      *Fru,
  IN IPMI_TRANSPORT_PROTOCOL  *Ipmi
  );

#endif
