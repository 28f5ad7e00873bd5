/** @file
  Test boot application: plays the platform around TavriDxe on real firmware.

  Every boot it publishes the IIO source HOB (a copy of the firmware's HOB
  list with the GUID HOB added), loads and starts TavriDxe, then the KCS IPMI
  transport driver, whose installation runs the driver's IPMI-ready hooks. The
  first boot also seeds the two setup variables so that the power-management
  preset is not in force; the driver then stores it and resets, and this app
  comes back for the next boot. On a boot the driver lets through, it signals
  ready-to-boot, reads both variables back, reads and writes FRU data through
  the FRU access protocol, runs the harness's list of FRU operations when it
  gave one (FruOps.cpp), reports on debug port 0xE9 and shuts down.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>
#include <Guid/EventGroup.h>
#include <Guid/HobList.h>
#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Pi/PiHob.h>
#include <Protocol/FruAccess.h>
#include <Protocol/IpmiTransport.h>

#include <Library/BaseLib.h>
#include "../Common/FruWriteCheck.h"
#include <Library/TavriBaseLib.h>
#include "../Common/ReportPort.h"
#include "../Common/RunCounter.h"
#include "../Common/SetupSeed.h"
#include "FruOps.h"
#include "../Common/EmbeddedDriver.h"

extern "C" {
extern CONST UINT8  TavriDxeImage[];
extern CONST UINT8  TavriDxeImageEnd[];
extern CONST UINT8  KcsIpmiDxeImage[];
extern CONST UINT8  KcsIpmiDxeImageEnd[];
EFI_STATUS EFIAPI BootAppEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);
}

__asm__ (
  "  .section .rdata,\"dr\"\n"
  EMBEDDED_DRIVER (TavriDxeImage, TAVRI_DXE_EFI)
  EMBEDDED_DRIVER (KcsIpmiDxeImage, KCS_IPMI_DXE_EFI)
  "  .text\n"
  );

namespace {


EFI_GUID  gTestBootGuid = { 0x7A5B0C11, 0x2E61, 0x4C1D, { 0x9E, 0x11, 0x5A, 0x1F, 0x6D, 0x22, 0x31, 0x07 } };

EFI_SYSTEM_TABLE      *St;
EFI_BOOT_SERVICES     *Bs;
EFI_RUNTIME_SERVICES  *Rt;

UINT8  mIioVariable[SOCKET_IIO_CONFIG_SIZE];

UINT8
IioHobByte (UINTN Index)
{
  return static_cast<UINT8>(Index * 7 + 3);
}

/**
  Publish a copy of the HOB list with the IIO source HOB added before its end.
**/
EFI_STATUS
PublishIioHob (VOID)
{
  CONST UINT8  *List = static_cast<CONST UINT8 *>(TavriFindConfigurationTable (St, &gEfiHobListGuid));

  if (List == NULL) {
    return EFI_NOT_FOUND;
  }

  UINTN  Used = 0;
  while (reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(List + Used)->HobType != EFI_HOB_TYPE_END_OF_HOB_LIST) {
    UINT16  Length = reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(List + Used)->HobLength;
    if (Length < sizeof (EFI_HOB_GENERIC_HEADER)) {
      return EFI_VOLUME_CORRUPTED;
    }

    Used += Length;
  }

  UINTN  HobLength = (sizeof (EFI_HOB_GUID_TYPE) + IIO_SOURCE_HOB_MIN_DATA_SIZE + 7) & ~static_cast<UINTN>(7);
  UINTN  Total     = Used + HobLength + sizeof (EFI_HOB_GENERIC_HEADER);
  UINT8  *Copy     = NULL;
  EFI_STATUS  Status = Bs->AllocatePool (EfiBootServicesData, Total, reinterpret_cast<VOID **>(&Copy));
  if (EFI_ERROR (Status)) {
    return Status;
  }

  for (UINTN Index = 0; Index < Used; Index++) {
    Copy[Index] = List[Index];
  }

  EFI_HOB_GUID_TYPE  *Hob = reinterpret_cast<EFI_HOB_GUID_TYPE *>(Copy + Used);
  Hob->Header.HobType   = EFI_HOB_TYPE_GUID_EXTENSION;
  Hob->Header.HobLength = static_cast<UINT16>(HobLength);
  Hob->Header.Reserved  = 0;
  Hob->Name             = gIioSourceHobGuid;
  UINT8  *Data = Copy + Used + sizeof (EFI_HOB_GUID_TYPE);
  for (UINTN Index = 0; Index < HobLength - sizeof (EFI_HOB_GUID_TYPE); Index++) {
    Data[Index] = IioHobByte (Index);
  }

  EFI_HOB_GENERIC_HEADER  *End = reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(Copy + Used + HobLength);
  End->HobType   = EFI_HOB_TYPE_END_OF_HOB_LIST;
  End->HobLength = sizeof (EFI_HOB_GENERIC_HEADER);
  End->Reserved  = 0;
  return Bs->InstallConfigurationTable (&gEfiHobListGuid, Copy);
}

/**
  Report the TSC ticks across a 10 ms gBS->Stall (), so that the harness can
  turn the other TSC counts into microseconds. Stall () on OVMF counts the
  ACPI power-management timer, which QEMU runs at its fixed 3.579545 MHz.
**/
VOID
ReportTscRate (VOID)
{
  CONST UINTN  StallUs = 10000;
  UINT64       Start   = AsmReadTsc ();

  Bs->Stall (StallUs);
  UINT64  Ticks = AsmReadTsc () - Start;
  Put ("TAVRI tsc stall-us=");
  PutDec (StallUs);
  Put (" ticks=");
  PutDec (Ticks);
  Put ("\n");
}

VOID EFIAPI
IgnoreEvent (EFI_EVENT, VOID *)
{
}

VOID
ReportAfterHooks (VOID)
{
  //
  // Ready-to-boot, as the boot manager signals it.
  //
  EFI_EVENT  ReadyToBoot = NULL;
  if (!EFI_ERROR (Bs->CreateEventEx (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, IgnoreEvent, NULL, &gEfiEventReadyToBootGuid, &ReadyToBoot))) {
    Bs->SignalEvent (ReadyToBoot);
    Bs->CloseEvent (ReadyToBoot);
    Put ("TAVRI ready-to-boot signalled\n");
  }

  UINT8   Pm[SOCKET_POWER_MANAGEMENT_CONFIG_SIZE];
  UINTN   Size = sizeof (Pm);
  UINT32  Attributes = 0;
  EFI_STATUS  Status = Rt->GetVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, &gSocketPowerManagementConfigGuid, &Attributes, &Size, Pm);
  Put ("TAVRI pm ");
  PutStatus ("status", Status);
  Put (" selector=");
  PutDec (Pm[PM_PRESET_SELECTOR_OFFSET]);
  Put (" in-force=");
  PutDec (PresetBytesInForce (Pm));
  Put ("/9\n");

  Size   = sizeof (mIioVariable);
  Status = Rt->GetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, &Attributes, &Size, mIioVariable);
  Put ("TAVRI iio ");
  PutStatus ("status", Status);
  Put (" size=");
  PutDec (Size);
  Put (" copied=");
  PutDec (IioBytesFromHob (mIioVariable, IioHobByte));
  Put ("/");
  PutDec (IioCopyMapBytes ());
  Put (" switch=");
  PutDec (mIioVariable[IIO_HOB_IMPORT_SWITCH_OFFSET]);
  Put ("\n");

  FRU_ACCESS_PROTOCOL  *Fru = NULL;
  Status = Bs->LocateProtocol (&gFruAccessProtocolGuid, NULL, reinterpret_cast<VOID **>(&Fru));
  Put ("TAVRI fru-protocol ");
  PutStatus ("status", Status);
  Put ("\n");
  if (EFI_ERROR (Status)) {
    return;
  }

  UINT8  Data[256];
  Size = sizeof (Data);
  UINT64  Start = AsmReadTsc ();
  Status = Fru->ReadFruData (0, 0, &Size, Data);
  UINT64  Ticks = AsmReadTsc () - Start;
  Put ("TAVRI fru-read ");
  PutStatus ("status", Status);
  Put (" count=");
  PutDec (Size);
  Put (" tsc=");
  PutDec (Ticks);
  Put ("\n");
  PutFruDataRows (Data, Size);

  //
  // The same 16 Read FRU Data commands sent straight through the transport,
  // for the cost of the driver's own work around them.
  //
  IPMI_TRANSPORT_PROTOCOL  *Ipmi = NULL;
  if (EFI_ERROR (Bs->LocateProtocol (&gIpmiTransportProtocolGuid, NULL, reinterpret_cast<VOID **>(&Ipmi)))) {
    Ipmi = NULL;
  } else {
    UINT8   Response[255 + 1];
    UINT64  RawStart = AsmReadTsc ();
    for (UINT8 Chunk = 0; Chunk < 16; Chunk++) {
      UINT8   Request[4] = { 0, static_cast<UINT8>(Chunk * 16), 0, 16 };
      UINT32  ResponseSize = 255;
      IpmiSendAnyShape (Ipmi, 0x0A, 0, 0x11, Request, sizeof (Request), Response, &ResponseSize);
    }

    Put ("TAVRI raw-kcs-16 tsc=");
    PutDec (AsmReadTsc () - RawStart);
    Put ("\n");
  }

  UINT8  Pattern[20];
  for (UINTN Index = 0; Index < sizeof (Pattern); Index++) {
    Pattern[Index] = static_cast<UINT8>(0xA0 + Index);
  }

  Size   = sizeof (Pattern);
  Status = Fru->WriteFruData (0, 0x100, &Size, Pattern);
  Put ("TAVRI fru-write ");
  PutStatus ("status", Status);
  Put (" count=");
  PutDec (Size);
  UINT8  Back[20];
  Size   = sizeof (Back);
  Status = Fru->ReadFruData (0, 0x100, &Size, Back);
  UINTN  Same = 0;
  for (UINTN Index = 0; Index < sizeof (Back); Index++) {
    Same += (Back[Index] == Pattern[Index]) ? 1 : 0;
  }

  PutStatus (" readback", Status);
  Put (" matching=");
  PutDec (Same);
  Put ("/20\n");
  ReportWritePastEnd (Fru);

  //
  // The harness's own list of FRU operations, when it gave one.
  //
  RunFruOps (Bs, Fru, Ipmi);
}

}  // namespace

EFI_STATUS
EFIAPI
BootAppEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  St = SystemTable;
  ReportInit (SystemTable);
  Bs = SystemTable->BootServices;
  Rt = SystemTable->RuntimeServices;

  EFI_STATUS  Counted;
  UINT32      Boot = CountRun (Rt, u"TavriTestBoot", &gTestBootGuid, &Counted);
  Put ("TAVRI boot ");
  PutDec (Boot);
  Put (" firmware-revision=");
  PutHex (St->Hdr.Revision, 8);
  Put ("\n");

  ReportTscRate ();
  if ((Boot == 1) && !EFI_ERROR (Counted)) {
    SeedSetupVariables (Rt);
  }

  Put ("TAVRI ");
  PutStatus ("hob", PublishIioHob ());
  UINT64  T0 = AsmReadTsc ();
  EFI_STATUS  Status = LoadAndStartEmbedded (Bs, ImageHandle, TavriDxeImage, TavriDxeImageEnd);
  UINT64  T1 = AsmReadTsc ();
  PutStatus (" tavri-start", Status);
  Put ("\n");
  Status = LoadAndStartEmbedded (Bs, ImageHandle, KcsIpmiDxeImage, KcsIpmiDxeImageEnd);
  UINT64  T2 = AsmReadTsc ();
  Put ("TAVRI ");
  PutStatus ("kcs-start", Status);
  Put (" entry-tsc=");
  PutDec (T1 - T0);
  Put (" hooks-tsc=");
  PutDec (T2 - T1);
  Put ("\n");

  ReportAfterHooks ();
  Put ("TAVRI done\n");
  Rt->ResetSystem (EfiResetShutdown, EFI_SUCCESS, 0, NULL);
  return EFI_SUCCESS;
}
