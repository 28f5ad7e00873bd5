/** @file
  FruTool.efi's commands that change the device: write, set and program,
  each refused on a word-addressed device and past the device's size, and
  each read back after writing.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruToolEfi.h"
#include <Library/FruEdit.h>
#include <Library/FruPrint.h>

namespace {

FRU_LINE  mFirstError;

/**
  FRU_PRINT_LINE that keeps the first error line of a verify and prints nothing.
**/
VOID
KeepFirstError (
  IN VOID         *Context,
  IN CONST CHAR8  *Text
  )
{
  (VOID)Context;
  CONST CHAR8  Prefix[] = "error: ";
  UINTN        Index    = 0;

  while ((Index + 1 < sizeof (Prefix)) && (Text[Index] == Prefix[Index])) {
    Index++;
  }

  if ((mFirstError.Length == 0) && (Index + 1 == sizeof (Prefix))) {
    FruLineAdd (&mFirstError, Text + Index);
  }
}

/**
  The one line program ends with: "program: " and what happened.
**/
EFI_STATUS
ProgramResult (
  IN EFI_STATUS   Status,
  IN CONST CHAR8  *Name,
  IN CONST CHAR8  *What,
  IN CONST CHAR8  *Detail,
  IN EFI_STATUS   Reason
  )
{
  FRU_LINE  Line;

  FruLineReset (&Line);
  FruLineAdd (&Line, EFI_ERROR (Status) ? "program: FAILED: " : "program: ");
  FruLineAdd (&Line, Name);
  FruLineAdd (&Line, What);
  if (Detail != NULL) {
    FruLineAdd (&Line, Detail);
  }

  if (Reason != EFI_SUCCESS) {
    FruLineAdd (&Line, " (");
    ToolAddStatus (&Line, Reason);
    FruLineAdd (&Line, ")");
  }

  ToolSay (&Line);
  return Status;
}

}  // namespace

EFI_STATUS
ToolWrite (
  IN CONST CHAR16  *File,
  IN CONST CHAR8   *Name
  )
{
  UINTN       Size;
  UINTN       Done;
  FRU_LINE    Line;
  EFI_STATUS  Status = ShellIoReadFile (gTool.Shell, File, gTool.Image, sizeof (gTool.Image), &Size);

  FruLineReset (&Line);
  FruLineAdd (&Line, Name);
  if (EFI_ERROR (Status)) {
    FruLineAdd (&Line, ": cannot read: ");
    ToolAddStatus (&Line, Status);
    ToolSay (&Line);
    return Status;
  }

  if (FruVerifyImage (gTool.Image, Size, &gTool.Out) != 0) {
    FruLineAdd (&Line, " is not a good FRU image; nothing written");
    ToolSay (&Line);
    return EFI_VOLUME_CORRUPTED;
  }

  Status = ToolCheckWritable (Size);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = FruDeviceRead (&gTool.Device, 0, Size, gTool.Scratch, &Done);
  if (EFI_ERROR (Status)) {
    return ToolDeviceFailed ("reading the old content", Status);
  }

  Status = ToolSaveBackup (File, Size);
  FruLineReset (&Line);
  FruLineAdd (&Line, Name);
  if (EFI_ERROR (Status)) {
    FruLineAdd (&Line, ".bak: cannot save the old content (");
    ToolAddStatus (&Line, Status);
    FruLineAdd (&Line, "); nothing written");
    ToolSay (&Line);
    return Status;
  }

  FruLineAdd (&Line, ".bak: old content saved");
  ToolSay (&Line);

  Status = ToolWriteAndCompare (0, Size);
  if (!EFI_ERROR (Status)) {
    ToolStartDeviceLine (&Line);
    FruLineAddDec (&Line, Size);
    FruLineAdd (&Line, " bytes written and read back");
    ToolSay (&Line);
  }

  return Status;
}

EFI_STATUS
ToolSet (
  IN CONST CHAR8  *NameText,
  IN CONST CHAR8  *Value
  )
{
  FRU_NAME    Name;
  FRU_CHANGE  Change;
  FRU_ERROR   Error;
  FRU_LINE    Line;
  UINTN       Size;

  if (!FruParseName (NameText, &Name)) {
    FruLineReset (&Line);
    FruLineAdd (&Line, "unknown field name ");
    FruLineAdd (&Line, NameText);
    ToolSay (&Line);
    return EFI_INVALID_PARAMETER;
  }

  EFI_STATUS  Status = ToolCheckWritable (0);
  if (!EFI_ERROR (Status)) {
    Status = ToolReadImage (&Size);
  }

  if (EFI_ERROR (Status)) {
    return Status;
  }

  FRU_STATUS  Result;
  if (!EFI_ERROR (gTool.InfoStatus)) {
    //
    // The device's size is known: every byte past the image is room to grow.
    //
    for (UINTN Index = Size; Index < ToolDeviceBytes (); Index++) {
      gTool.Image[Index] = 0;
    }

    Result = FruSetValue (gTool.Image, ToolDeviceBytes (), &Name, Value, &Change, &Error);
  } else {
    Result = FruSetValue (gTool.Image, Size, &Name, Value, &Change, &Error);
    if ((Result == FruErrNoRoom) && (Error.Limit == Size) && (Error.Offset <= sizeof (gTool.Image))) {
      //
      // The size is not known: read the device bytes past the image the set
      // needs, and try again; a device that ends before them refuses.
      //
      UINTN  Done;
      if (!EFI_ERROR (FruDeviceRead (&gTool.Device, Size, Error.Offset - Size, gTool.Image + Size, &Done))) {
        Size   = Error.Offset;
        Result = FruSetValue (gTool.Image, Size, &Name, Value, &Change, &Error);
      }
    }
  }

  if (Result != FruOk) {
    FruLineReset (&Line);
    FruLineAdd (&Line, NameText);
    FruLineAdd (&Line, " not set: ");
    FruLineAddError (&Line, &Error);
    ToolSay (&Line);
    return (Result == FruErrNoRoom) ? EFI_BAD_BUFFER_SIZE :
           ((Result == FruErrBadValue) || (Result == FruErrFieldMissing)) ? EFI_INVALID_PARAMETER : EFI_VOLUME_CORRUPTED;
  }

  Status = ToolWriteAndCompare (Change.Start, Change.Length);
  if (!EFI_ERROR (Status)) {
    FruLineReset (&Line);
    FruLineAdd (&Line, NameText);
    FruLineAdd (&Line, " set: ");
    FruLineAdd (&Line, FruAreaName (Name.Area));
    if (Change.Start == 0) {
      FruLineAdd (&Line, " area grown, the areas after it moved up; ");
    } else {
      FruLineAdd (&Line, " area at ");
      FruLineAddOffset (&Line, Change.Start);
      FruLineAdd (&Line, " re-laid, ");
    }

    FruLineAddDec (&Line, Change.Length);
    FruLineAdd (&Line, " bytes written and read back");
    ToolSay (&Line);
  }

  return Status;
}

EFI_STATUS
ToolProgram (
  IN CONST CHAR16  *File,
  IN CONST CHAR8   *Name
  )
{
  UINTN       Size;
  UINTN       Done;
  FRU_OUTPUT  Quiet = { KeepFirstError, NULL };
  EFI_STATUS  Status = ShellIoReadFile (gTool.Shell, File, gTool.Image, sizeof (gTool.Image), &Size);

  if (EFI_ERROR (Status)) {
    return ProgramResult (Status, Name, " cannot be read; device untouched", NULL, Status);
  }

  FruLineReset (&mFirstError);
  if (FruVerifyImage (gTool.Image, Size, &Quiet) != 0) {
    return ProgramResult (EFI_VOLUME_CORRUPTED, Name, " is not a good FRU image; device untouched: ", mFirstError.Text, EFI_SUCCESS);
  }

  if (!EFI_ERROR (gTool.InfoStatus) && gTool.Info.Words) {
    return ProgramResult (EFI_UNSUPPORTED, Name, " not written: the device is addressed in words; device untouched", NULL, EFI_SUCCESS);
  }

  if (Size > ToolDeviceBytes ()) {
    return ProgramResult (EFI_BAD_BUFFER_SIZE, Name, " is larger than the device the BMC reports; device untouched", NULL, EFI_SUCCESS);
  }

  //
  // Keep the device's current image (or, when it holds none, the bytes FILE
  // replaces) beside FILE before anything is written.
  //
  UINTN  Old    = 0;
  UINTN  Needed = 0;
  if (EFI_ERROR (FruDeviceReadImage (&gTool.Device, gTool.Scratch, ToolDeviceBytes (), &Old, &Needed))) {
    Old = 0;
  }

  UINTN  Keep = (Old > Size) ? Old : Size;
  Status = FruDeviceRead (&gTool.Device, 0, Keep, gTool.Scratch, &Done);
  if (EFI_ERROR (Status)) {
    return ProgramResult (Status, Name, " not written: the device's current content cannot be read; device untouched", NULL, Status);
  }

  Status = ToolSaveBackup (File, Keep);
  if (EFI_ERROR (Status)) {
    return ProgramResult (Status, Name, " not written: the old content cannot be saved beside it; device untouched", NULL, Status);
  }

  UINTN  Difference;
  Status = FruDeviceWriteAndCompare (&gTool.Device, 0, Size, gTool.Image, gTool.Scratch, &Difference);
  if (Status == EFI_VOLUME_CORRUPTED) {
    return ProgramResult (Status, Name, " written but the read-back differs; the old content is in the .bak file", NULL, EFI_SUCCESS);
  }

  if (EFI_ERROR (Status)) {
    return ProgramResult (Status, Name, " not fully written (the device may hold part of it); the old content is in the .bak file", NULL, Status);
  }

  FRU_LINE  Line;
  FruLineReset (&Line);
  FruLineAdd (&Line, "program: FRU device ");
  FruLineAddDec (&Line, gTool.Device.DeviceId);
  FruLineAdd (&Line, " holds ");
  FruLineAdd (&Line, Name);
  FruLineAdd (&Line, " (");
  FruLineAddDec (&Line, Size);
  FruLineAdd (&Line, " bytes written, read back alike); the old content, ");
  FruLineAddDec (&Line, Keep);
  FruLineAdd (&Line, " bytes, is in ");
  FruLineAdd (&Line, Name);
  FruLineAdd (&Line, ".bak");
  ToolSay (&Line);
  return EFI_SUCCESS;
}
