/** @file
  FruTool.efi's device: its size and access unit from the BMC, the image
  read within that size, write with read-back, the backup file, and the
  lines that say what happened.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruToolEfi.h"

#include <Ucs2Text.h>

FRU_TOOL  gTool;

VOID
ToolSay (
  IN CONST FRU_LINE  *Line
  )
{
  FruPrintLine (&gTool.Out, Line);
}

VOID
ToolAddStatus (
  IN OUT FRU_LINE    *Line,
  IN     EFI_STATUS  Status
  )
{
  CONST CHAR8  *Name = ShellIoStatusName (Status);

  if (Name != NULL) {
    FruLineAdd (Line, Name);
  } else {
    FruLineAdd (Line, "status 0x");
    FruLineAddHex (Line, Status, 1);
  }
}

VOID
ToolStartDeviceLine (
  OUT FRU_LINE  *Line
  )
{
  FruLineReset (Line);
  FruLineAdd (Line, "FRU device ");
  FruLineAddDec (Line, gTool.Device.DeviceId);
  FruLineAdd (Line, ": ");
}

EFI_STATUS
ToolDeviceFailed (
  IN CONST CHAR8  *What,
  IN EFI_STATUS   Status
  )
{
  FRU_LINE  Line;

  ToolStartDeviceLine (&Line);
  FruLineAdd (&Line, What);
  FruLineAdd (&Line, " failed at ");
  FruLineAddOffset (&Line, gTool.Device.FailedAt);
  FruLineAdd (&Line, ": ");
  ToolAddStatus (&Line, Status);
  ToolSay (&Line);
  return Status;
}

VOID
ToolQueryDevice (
  IN BOOLEAN  Quiet
  )
{
  IPMI_TRANSPORT_PROTOCOL  *Transport = NULL;
  FRU_LINE                 Line;

  gTool.InfoStatus = gTool.St->BootServices->LocateProtocol (&gIpmiTransportProtocolGuid, NULL, reinterpret_cast<VOID **>(&Transport));
  ToolStartDeviceLine (&Line);
  if (EFI_ERROR (gTool.InfoStatus) || (Transport == NULL)) {
    gTool.InfoStatus = EFI_NOT_FOUND;
    FruLineAdd (&Line, "no IPMI transport to ask the device's size; using the image's own lengths");
    if (!Quiet) {
      ToolSay (&Line);
    }

    return;
  }

  gTool.InfoStatus = FruQueryInventoryInfo (Transport, gTool.Device.DeviceId, &gTool.Info);
  if (EFI_ERROR (gTool.InfoStatus)) {
    if ((gTool.Info.Completion != 0xFF) && (gTool.Info.Completion != 0)) {
      FruLineAdd (&Line, "the BMC refused Get FRU Inventory Area Info (completion code 0x");
      FruLineAddHex (&Line, gTool.Info.Completion, 2);
    } else {
      FruLineAdd (&Line, "the BMC did not answer Get FRU Inventory Area Info (");
      ToolAddStatus (&Line, gTool.InfoStatus);
    }

    FruLineAdd (&Line, "); using the image's own lengths");
  } else if (gTool.Info.Words) {
    FruLineAddDec (&Line, gTool.Info.Size);
    FruLineAdd (&Line, " words, addressed in words: reads may not show the device, writes are refused");
  } else {
    FruLineAddDec (&Line, gTool.Info.Size);
    FruLineAdd (&Line, " bytes, addressed in bytes (Get FRU Inventory Area Info)");
  }

  if (!Quiet) {
    ToolSay (&Line);
  }
}

UINTN
ToolDeviceBytes (
  VOID
  )
{
  if (EFI_ERROR (gTool.InfoStatus)) {
    return FRU_MAX_IMAGE_SIZE;
  }

  UINTN  Bytes = gTool.Info.Words ? 2u * gTool.Info.Size : gTool.Info.Size;
  return (Bytes < FRU_MAX_IMAGE_SIZE) ? Bytes : FRU_MAX_IMAGE_SIZE;
}

EFI_STATUS
ToolCheckWritable (
  IN UINTN  End
  )
{
  FRU_LINE  Line;

  ToolStartDeviceLine (&Line);
  if (!EFI_ERROR (gTool.InfoStatus) && gTool.Info.Words) {
    FruLineAdd (&Line, "addressed in words; FruTool.efi writes byte-addressed devices only; nothing written");
    ToolSay (&Line);
    return EFI_UNSUPPORTED;
  }

  if (End > ToolDeviceBytes ()) {
    FruLineAdd (&Line, "the write would need the bytes up to ");
    FruLineAddOffset (&Line, End);
    FruLineAdd (&Line, ", but the device has ");
    FruLineAddDec (&Line, ToolDeviceBytes ());
    FruLineAdd (&Line, " bytes; nothing written");
    ToolSay (&Line);
    return EFI_BAD_BUFFER_SIZE;
  }

  return EFI_SUCCESS;
}

EFI_STATUS
ToolReadImage (
  OUT UINTN  *Size
  )
{
  UINTN       Needed = 0;
  FRU_LINE    Line;
  EFI_STATUS  Status = FruDeviceReadImage (&gTool.Device, gTool.Image, ToolDeviceBytes (), Size, &Needed);

  if (!EFI_ERROR (Status)) {
    return EFI_SUCCESS;
  }

  ToolStartDeviceLine (&Line);
  if (Status == EFI_BUFFER_TOO_SMALL) {
    FruLineAdd (&Line, "the header names bytes up to ");
    FruLineAddOffset (&Line, Needed);
    FruLineAdd (&Line, ", past the device's ");
    FruLineAddDec (&Line, ToolDeviceBytes ());
    FruLineAdd (&Line, " bytes");
    Status = EFI_VOLUME_CORRUPTED;
  } else if (Needed <= FRU_HEADER_SIZE) {
    FruLineAdd (&Line, "reading the common header failed: ");
    ToolAddStatus (&Line, Status);
  } else {
    FruLineAdd (&Line, "the header names bytes up to ");
    FruLineAddOffset (&Line, Needed);
    FruLineAdd (&Line, ", but reading stopped at ");
    FruLineAddOffset (&Line, gTool.Device.FailedAt);
    FruLineAdd (&Line, " (");
    ToolAddStatus (&Line, Status);
    FruLineAdd (&Line, "): the device is shorter than its header says, or the BMC failed");
  }

  ToolSay (&Line);
  return Status;
}

EFI_STATUS
ToolWriteAndCompare (
  IN UINTN  Offset,
  IN UINTN  Size
  )
{
  UINTN       Difference;
  FRU_LINE    Line;
  EFI_STATUS  Status = FruDeviceWriteAndCompare (&gTool.Device, Offset, Size, gTool.Image + Offset, gTool.Scratch, &Difference);

  if (Status == EFI_VOLUME_CORRUPTED) {
    ToolStartDeviceLine (&Line);
    FruLineAdd (&Line, "read-back differs first at ");
    FruLineAddOffset (&Line, Difference);
    FruLineAdd (&Line, ": wrote 0x");
    FruLineAddHex (&Line, gTool.Image[Difference], 2);
    FruLineAdd (&Line, ", read 0x");
    FruLineAddHex (&Line, gTool.Scratch[Difference - Offset], 2);
    ToolSay (&Line);
    return Status;
  }

  if (EFI_ERROR (Status)) {
    return ToolDeviceFailed ("writing or reading back", Status);
  }

  return EFI_SUCCESS;
}

EFI_STATUS
ToolSaveBackup (
  IN CONST CHAR16  *File,
  IN UINTN         Size
  )
{
  UINTN  Length = 0;

  for ( ; (Length < FRU_TOOL_MAX_ARG_LENGTH) && (File[Length] != 0); Length++) {
    gTool.BackupName[Length] = File[Length];
  }

  constexpr UCS2_TEXT  Suffix = Ucs2Text (u".bak");
  for (UINTN Index = 0; Index < sizeof (Suffix.Text) / sizeof (Suffix.Text[0]); Index++) {
    gTool.BackupName[Length + Index] = Suffix.Text[Index];
  }

  return ShellIoWriteFile (gTool.Shell, gTool.BackupName, gTool.Scratch, Size);
}
