/** @file
  Boot option of the firmware test: looks at what TavriDxe left, as an OS
  loader would find the platform. It loads no driver and signals nothing; the
  firmware dispatched TavriDxe and the IPMI transport from its volume, and the
  boot manager signalled ready-to-boot before starting this app.

  On its first run it seeds the two setup variables (the power-management
  preset out of force, the IIO import switch on) and resets, so that the next
  boot's DXE phase finds them. On every later run it reports on debug port
  0xE9 what the variables hold, whether the FRU access protocol is installed
  and how it answers, SMBIOS types 1, 2 and 3 as the firmware's table holds
  them (with FruSmbiosDxe in the volume, the FRU's values), runs the FRU
  operations the harness hands it over fw_cfg, if any (the fault-link tests),
  then shuts the platform down.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Protocol/FruAccess.h>
#include <Protocol/IpmiTransport.h>

#include "../BootApp/FruOps.h"
#include "../Common/FruWriteCheck.h"
#include "../Common/ReportPort.h"
#include "../Common/RunCounter.h"
#include "../Common/SetupSeed.h"
#include "../Common/SmbiosReport.h"

extern "C" {
EFI_STATUS EFIAPI PlatformCheckAppEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);
}

namespace {


EFI_GUID  gPlatformCheckGuid = { 0x3F0C8E25, 0x6B1D, 0x4E7A, { 0x9C, 0x42, 0x1D, 0x5E, 0x77, 0x08, 0xA3, 0x61 } };

EFI_BOOT_SERVICES     *Bs;
EFI_RUNTIME_SERVICES  *Rt;

UINT8  mIioVariable[SOCKET_IIO_CONFIG_SIZE];

///
/// The byte the test PEIM leaves at each data offset of the IIO source HOB.
///
UINT8
PeiHobByte (
  UINTN  Index
  )
{
  return static_cast<UINT8>(Index * 7 + 0x5A);
}

VOID
ReportPreset (
  VOID
  )
{
  UINT8       Pm[SOCKET_POWER_MANAGEMENT_CONFIG_SIZE];
  UINTN       Size       = sizeof (Pm);
  UINT32      Attributes = 0;
  EFI_STATUS  Status;

  Status = Rt->GetVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, &gSocketPowerManagementConfigGuid, &Attributes, &Size, Pm);
  Put ("TAVRI pm ");
  PutStatus ("status", Status);
  if (EFI_ERROR (Status)) {
    Put ("\n");
    return;
  }

  Put (" selector=");
  PutDec (Pm[PM_PRESET_SELECTOR_OFFSET]);
  Put (" in-force=");
  PutDec (PresetBytesInForce (Pm));
  Put ("/9\n");
}

VOID
ReportIio (
  VOID
  )
{
  UINTN       Size       = sizeof (mIioVariable);
  UINT32      Attributes = 0;
  EFI_STATUS  Status;

  Status = Rt->GetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, &Attributes, &Size, mIioVariable);
  Put ("TAVRI iio ");
  PutStatus ("status", Status);
  if (EFI_ERROR (Status)) {
    Put ("\n");
    return;
  }

  Put (" size=");
  PutDec (Size);
  Put (" from-pei-hob=");
  PutDec (IioBytesFromHob (mIioVariable, PeiHobByte));
  Put ("/");
  PutDec (IioCopyMapBytes ());
  Put (" switch=");
  PutDec (mIioVariable[IIO_HOB_IMPORT_SWITCH_OFFSET]);
  Put ("\n");
}

VOID
ReportFru (
  VOID
  )
{
  FRU_ACCESS_PROTOCOL  *Fru = NULL;
  EFI_STATUS           Status;
  UINT8                Data[256];
  UINTN                Size;

  Status = Bs->LocateProtocol (&gFruAccessProtocolGuid, NULL, reinterpret_cast<VOID **>(&Fru));
  Put ("TAVRI fru-protocol ");
  PutStatus ("status", Status);
  Put ("\n");
  if (EFI_ERROR (Status)) {
    return;
  }

  Size   = sizeof (Data);
  Status = Fru->ReadFruData (0, 0, &Size, Data);
  Put ("TAVRI fru-read ");
  PutStatus ("status", Status);
  Put (" count=");
  PutDec (Size);
  Put (" header=");
  for (UINTN Index = 0; Index < 8 && Index < Size; Index++) {
    PutHex (Data[Index], 2);
  }

  Put ("\n");
  PutFruDataRows (Data, Size);
  ReportWritePastEnd (Fru);
}

/**
  Run the FRU operations the harness hands over fw_cfg; nothing is reported
  when it hands none.
**/
VOID
RunHarnessFruOps (
  VOID
  )
{
  FRU_ACCESS_PROTOCOL      *Fru  = NULL;
  IPMI_TRANSPORT_PROTOCOL  *Ipmi = NULL;

  if (EFI_ERROR (Bs->LocateProtocol (&gFruAccessProtocolGuid, NULL, reinterpret_cast<VOID **>(&Fru)))) {
    return;
  }

  if (EFI_ERROR (Bs->LocateProtocol (&gIpmiTransportProtocolGuid, NULL, reinterpret_cast<VOID **>(&Ipmi)))) {
    Ipmi = NULL;
  }

  RunFruOps (Bs, Fru, Ipmi);
}

}  // namespace

/**
  Seed the setup variables on the first run; report on every later run.
**/
EFI_STATUS
EFIAPI
PlatformCheckAppEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_STATUS  Counted;
  UINT32      Run;

  (VOID)ImageHandle;
  Bs = SystemTable->BootServices;
  Rt = SystemTable->RuntimeServices;
  ReportInit (SystemTable);

  Run = CountRun (Rt, u"TavriPlatformCheckRun", &gPlatformCheckGuid, &Counted);
  Put ("TAVRI app-run ");
  PutDec (Run);
  Put ("\n");

  if ((Run == 1) && !EFI_ERROR (Counted)) {
    SeedSetupVariables (Rt);
    Put ("TAVRI reset to bring the seeded variables to the next boot\n");
    Rt->ResetSystem (EfiResetCold, EFI_SUCCESS, 0, NULL);
  }

  ReportPreset ();
  ReportIio ();
  ReportFru ();
  ReportSmbiosTypes (SystemTable, "firmware");
  RunHarnessFruOps ();
  Put ("TAVRI done\n");
  Rt->ResetSystem (EfiResetShutdown, EFI_SUCCESS, 0, NULL);
  return EFI_SUCCESS;
}
