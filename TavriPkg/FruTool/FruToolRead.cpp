/** @file
  FruTool.efi's commands that only read the device: print, verify, dump and
  read, each within the size the BMC gives for the device.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruToolEfi.h"
#include <Library/FruPrint.h>

namespace {

constexpr UINTN  DUMP_DEFAULT = 256;

/**
  Refuse a transfer of [Offset, Offset + Length) past the device's size.
**/
BOOLEAN
InsideDevice (
  IN UINTN  Offset,
  IN UINTN  Length
  )
{
  FRU_LINE  Line;

  if ((Offset <= ToolDeviceBytes ()) && (Length <= ToolDeviceBytes () - Offset)) {
    return TRUE;
  }

  ToolStartDeviceLine (&Line);
  FruLineAdd (&Line, "the device has ");
  FruLineAddDec (&Line, ToolDeviceBytes ());
  FruLineAdd (&Line, " bytes; ");
  FruLineAddOffset (&Line, Offset);
  FruLineAdd (&Line, " + ");
  FruLineAddDec (&Line, Length);
  FruLineAdd (&Line, " runs past them");
  ToolSay (&Line);
  return FALSE;
}

}  // namespace

EFI_STATUS
ToolPrintOrVerify (
  IN BOOLEAN  Verify
  )
{
  UINTN       Size;
  EFI_STATUS  Status = ToolReadImage (&Size);

  if (EFI_ERROR (Status)) {
    return Status;
  }

  UINTN  Errors = Verify ? FruVerifyImage (gTool.Image, Size, &gTool.Out) : FruPrintImage (gTool.Image, Size, &gTool.Out);
  if (Verify) {
    FRU_LINE  Line;
    ToolStartDeviceLine (&Line);
    FruLineAdd (&Line, (Errors == 0) ? "every checksum good" : "FAILED");
    if (!EFI_ERROR (gTool.InfoStatus)) {
      FruLineAdd (&Line, "; the image ends at ");
      FruLineAddOffset (&Line, Size);
      FruLineAdd (&Line, ", ");
      FruLineAddDec (&Line, ToolDeviceBytes () - Size);
      FruLineAdd (&Line, " bytes of the device free after it");
    }

    ToolSay (&Line);
  }

  return (Errors == 0) ? EFI_SUCCESS : EFI_VOLUME_CORRUPTED;
}

EFI_STATUS
ToolDump (
  IN UINTN    Offset,
  IN BOOLEAN  HaveLength,
  IN UINTN    Length
  )
{
  UINTN       Done = 0;
  EFI_STATUS  Status;

  if (!HaveLength) {
    UINTN  Size;
    Status = ToolReadImage (&Size);
    if (EFI_ERROR (Status)) {
      return Status;
    }

    Length = (Size > DUMP_DEFAULT) ? Size : DUMP_DEFAULT;
    if (Length > ToolDeviceBytes ()) {
      Length = ToolDeviceBytes ();
    }

    Length = (Offset < Length) ? Length - Offset : 0;
  }

  if (!InsideDevice (Offset, Length)) {
    return EFI_BAD_BUFFER_SIZE;
  }

  Status = FruDeviceRead (&gTool.Device, Offset, Length, gTool.Image, &Done);
  if (EFI_ERROR (Status)) {
    return ToolDeviceFailed ("reading", Status);
  }

  FruDumpBytes (gTool.Image, Length, Offset, &gTool.Out);
  return EFI_SUCCESS;
}

EFI_STATUS
ToolRead (
  IN CONST CHAR16  *File,
  IN CONST CHAR8   *Name,
  IN BOOLEAN       HaveLength,
  IN UINTN         Length
  )
{
  UINTN       Size = Length;
  EFI_STATUS  Status;
  FRU_LINE    Line;

  if (HaveLength) {
    if (!InsideDevice (0, Length)) {
      return EFI_BAD_BUFFER_SIZE;
    }

    Status = FruDeviceRead (&gTool.Device, 0, Length, gTool.Image, &Size);
    if (EFI_ERROR (Status)) {
      return ToolDeviceFailed ("reading", Status);
    }
  } else {
    Status = ToolReadImage (&Size);
    if (EFI_ERROR (Status)) {
      return Status;
    }
  }

  Status = ShellIoWriteFile (gTool.Shell, File, gTool.Image, Size);
  ToolStartDeviceLine (&Line);
  if (EFI_ERROR (Status)) {
    FruLineAdd (&Line, "cannot write ");
    FruLineAdd (&Line, Name);
    FruLineAdd (&Line, ": ");
    ToolAddStatus (&Line, Status);
  } else {
    FruLineAddDec (&Line, Size);
    FruLineAdd (&Line, " bytes saved to ");
    FruLineAdd (&Line, Name);
  }

  ToolSay (&Line);
  return Status;
}
