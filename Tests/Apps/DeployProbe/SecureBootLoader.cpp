/** @file
  Secure Boot deployment app, booted as \EFI\BOOT\BOOTX64.EFI and signed with
  the platform's db key. On firmware with Secure Boot on, the UEFI shell does
  not start, so this app does what an engineer would do from it, one step per
  run, counting its runs in a variable of its own:

  1. Seeds the two setup variables (the preset not in force, the IIO import
     switch on), asks LoadImage for the unsigned and the tampered copy of
     TavriDxe.efi (neither is started), reports, then stores Driver0000 for
     the unsigned copy and Driver0001 for the KCS transport and resets.
  2. Reports what the boot manager made of that, points Driver0000 at the
     signed TavriDxe.efi and resets.
  3. (The boot manager loads both drivers; the driver stores the preset and
     resets before this app runs.) Reports and shuts down.

  A run it cannot count (the variable store refuses the counter) only
  reports and shuts down, so the app never loops through resets.

  It never starts an image itself: the boot manager does, from Driver####.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>

#include "../Common/RunCounter.h"
#include "../Common/SetupSeed.h"
#include "LoadOption.h"
#include "ProbeOutput.h"
#include "ProbeReport.h"

extern "C" EFI_STATUS EFIAPI SecureBootLoaderEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

namespace {


EFI_GUID  gLoaderRunGuid = { 0x3C0B6E0A, 0x5F4D, 0x4E7B, { 0x8C, 0x21, 0x9A, 0x44, 0x17, 0x6D, 0x0E, 0x52 } };

constexpr CHAR16  SIGNED_DRIVER[]   = u"\\TavriDxe.efi";
constexpr CHAR16  UNSIGNED_DRIVER[] = u"\\TavriDxe-unsigned.efi";
constexpr CHAR16  TAMPERED_DRIVER[] = u"\\TavriDxe-tampered.efi";
constexpr CHAR16  KCS_DRIVER[]      = u"\\KcsIpmiDxe.efi";

UINT8  mPath[MAX_FILE_DEVICE_PATH];

/**
  Ask the firmware to load a file next to this app, without starting it.
  A refused image may still come back with a handle (EFI_SECURITY_VIOLATION:
  loaded, not to be started); it is unloaded here. So is an image the
  firmware accepted, which this app has no business starting.
**/
VOID
LoadWithoutStarting (
  IN EFI_HANDLE    Self,
  IN CONST CHAR16  *FileName
  )
{
  UINTN       PathSize = 0;
  EFI_HANDLE  Handle   = NULL;
  EFI_STATUS  Status   = FileDevicePath (Self, FileName, mPath, &PathSize);

  if (!EFI_ERROR (Status)) {
    Status = gProbeBs->LoadImage (FALSE, Self, reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL *>(mPath), NULL, 0, &Handle);
  }

  Put ("TAVRI load path=");
  PutWide (FileName, 64);
  Put (" ");
  PutStatus ("status", Status);
  if (Handle != NULL) {
    PutStatus (" unload", gProbeBs->UnloadImage (Handle));
  }

  Put ("\n");
}

VOID
PutDriverOption (
  IN EFI_HANDLE    Self,
  IN UINT16        Number,
  IN CONST CHAR16  *Description,
  IN CONST CHAR16  *FileName
  )
{
  Put ("TAVRI driver-option number=");
  PutHex (Number, 4);
  Put (" path=");
  PutWide (FileName, 64);
  Put (" ");
  PutStatus ("status", WriteDriverOption (Self, Number, Description, FileName));
  Put ("\n");
}

VOID
Report (
  IN EFI_HANDLE  Self
  )
{
  ReportLoadedImages (Self);
  ReportSetupVariables ();
  ReportFruAccess ();
}

}  // namespace

EFI_STATUS
EFIAPI
SecureBootLoaderEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  ProbeInitialize (SystemTable);

  EFI_STATUS  Stored;
  UINT32      Run = CountRun (gProbeRt, u"TavriLoaderRun", &gLoaderRunGuid, &Stored);
  Put ("TAVRI loader run=");
  PutDec (Run);
  PutStatus (" run-stored", Stored);
  Put ("\n");
  ReportFirmware ();

  //
  // A run that cannot be counted would repeat itself on every boot: only
  // report, and shut down.
  //
  if (EFI_ERROR (Stored)) {
    Run = 0;
  }

  if (Run == 1) {
    SeedSetupVariables (gProbeRt);
    LoadWithoutStarting (ImageHandle, UNSIGNED_DRIVER);
    LoadWithoutStarting (ImageHandle, TAMPERED_DRIVER);
    Report (ImageHandle);
    PutDriverOption (ImageHandle, 0, u"TavriDxe (unsigned copy)", UNSIGNED_DRIVER);
    PutDriverOption (ImageHandle, 1, u"KCS IPMI transport", KCS_DRIVER);
    CONST UINT16  Order[] = { 0, 1 };
    Put ("TAVRI ");
    PutStatus ("driver-order", WriteDriverOrder (Order, 2));
    Put ("\nTAVRI next=reset\n");
    gProbeRt->ResetSystem (EfiResetCold, EFI_SUCCESS, 0, NULL);
  } else if (Run == 2) {
    Report (ImageHandle);
    PutDriverOption (ImageHandle, 0, u"TavriDxe", SIGNED_DRIVER);
    Put ("TAVRI next=reset\n");
    gProbeRt->ResetSystem (EfiResetCold, EFI_SUCCESS, 0, NULL);
  }

  Report (ImageHandle);
  Put ("TAVRI next=shutdown\n");
  gProbeRt->ResetSystem (EfiResetShutdown, EFI_SUCCESS, 0, NULL);
  return EFI_SUCCESS;
}
