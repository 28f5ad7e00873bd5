/** @file
  Test boot application: FruSmbiosDxe on real firmware.

  Reports SMBIOS types 1, 2 and 3 as the firmware's table holds them, then
  loads FruSmbiosDxe (which finds the SMBIOS protocol and waits for the FRU
  access protocol), TavriDxe and the KCS IPMI transport, whose installation
  brings the FRU access protocol and with it FruSmbiosDxe's update, and
  reports the three types again. Every line goes to debug port 0xE9:

    TAVRI smbios-entry <anchor> version=<major>.<minor>
    TAVRI smbios <phase> type=1 handle=0x.... manufacturer="..." product="..." version="..." serial="..." sku="..."
    TAVRI smbios <phase> type=2 handle=0x.... manufacturer="..." product="..." version="..." serial="..." asset="..."
    TAVRI smbios <phase> type=3 handle=0x.... chassis-type=0x.. manufacturer="..." version="..." serial="..." asset="..."
    TAVRI smbios <phase> type=N none

  with <phase> "before" or "after" (the form is SmbiosReport.h's).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>

#include "../Common/ReportPort.h"
#include "../Common/SmbiosReport.h"
#include "../Common/EmbeddedDriver.h"

extern "C" {
extern CONST UINT8  FruSmbiosDxeImage[];
extern CONST UINT8  FruSmbiosDxeImageEnd[];
extern CONST UINT8  TavriDxeImage[];
extern CONST UINT8  TavriDxeImageEnd[];
extern CONST UINT8  KcsIpmiDxeImage[];
extern CONST UINT8  KcsIpmiDxeImageEnd[];
EFI_STATUS EFIAPI SmbiosCheckAppEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);
}

__asm__ (
  "  .section .rdata,\"dr\"\n"
  EMBEDDED_DRIVER (FruSmbiosDxeImage, FRU_SMBIOS_DXE_EFI)
  EMBEDDED_DRIVER (TavriDxeImage, TAVRI_DXE_EFI)
  EMBEDDED_DRIVER (KcsIpmiDxeImage, KCS_IPMI_DXE_EFI)
  "  .text\n"
  );

EFI_STATUS
EFIAPI
SmbiosCheckAppEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_BOOT_SERVICES  *Bs = SystemTable->BootServices;

  ReportInit (SystemTable);

  ReportSmbiosTypes (SystemTable, "before");
  Put ("TAVRI ");
  PutStatus ("frusmbios-start", LoadAndStartEmbedded (Bs, ImageHandle, FruSmbiosDxeImage, FruSmbiosDxeImageEnd));
  PutStatus (" tavri-start", LoadAndStartEmbedded (Bs, ImageHandle, TavriDxeImage, TavriDxeImageEnd));
  PutStatus (" kcs-start", LoadAndStartEmbedded (Bs, ImageHandle, KcsIpmiDxeImage, KcsIpmiDxeImageEnd));
  Put ("\n");
  ReportSmbiosTypes (SystemTable, "after");
  Put ("TAVRI done\n");
  SystemTable->RuntimeServices->ResetSystem (EfiResetShutdown, EFI_SUCCESS, 0, NULL);
  return EFI_SUCCESS;
}
