/** @file
  FruTool.efi: reads, checks and programs the BMC's FRU devices from the UEFI
  shell, through the FRU access protocol.

    FruTool.efi print  [DEV]                    every field as `name: value`
    FruTool.efi verify [DEV]                    header, areas and checksums
    FruTool.efi dump   [DEV [OFFSET [LENGTH]]]  hex dump (default: the image)
    FruTool.efi read   [DEV] FILE [LENGTH]      save the image (or LENGTH bytes)
    FruTool.efi write  [DEV] FILE               program FILE; old bytes to FILE.bak
    FruTool.efi set    [DEV] NAME VALUE         set one field

  DEV is the FRU device ID (default 0). The exit status, which the shell keeps
  in %lasterror%, is EFI_SUCCESS when the command did its job and the image
  passed every check, and an error status otherwise.
**/

#include <Uefi.h>
#include <Protocol/FruAccess.h>

#include "EfiShellIo.h"
#include <Library/FruDevice.h>
#include <Library/FruEdit.h>
#include <Library/FruPrint.h>

extern "C" EFI_STATUS EFIAPI FruToolEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

namespace {

constexpr UINTN  MAX_ARGS       = 8;
constexpr UINTN  MAX_ARG_LENGTH = 256;
constexpr UINTN  DUMP_DEFAULT   = 256;

EFI_SYSTEM_TABLE     *mSt;
EFI_SHELL_PROTOCOL   *mShell;
FRU_OUTPUT           mOut;
FRU_DEVICE           mDevice;

UINT8   mImage[FRU_MAX_IMAGE_SIZE];
UINT8   mScratch[FRU_MAX_IMAGE_SIZE];
CHAR8   mArgs[MAX_ARGS][MAX_ARG_LENGTH];
CHAR16  mBackupName[MAX_ARG_LENGTH + 8];

CONST CHAR8  *CONST  mUsage[] = {
  "usage: FruTool.efi print  [DEV]",
  "       FruTool.efi verify [DEV]",
  "       FruTool.efi dump   [DEV [OFFSET [LENGTH]]]",
  "       FruTool.efi read   [DEV] FILE [LENGTH]",
  "       FruTool.efi write  [DEV] FILE",
  "       FruTool.efi set    [DEV] NAME VALUE",
  "DEV is the FRU device ID, 0 when left out. NAME is a field as print shows it.",
};

VOID
Say (
  IN CONST FRU_LINE  *Line
  )
{
  FruPrintLine (&mOut, Line);
}

VOID
SayText (
  IN CONST CHAR8  *Text
  )
{
  mOut.Print (mOut.Context, Text);
}

VOID
AddStatus (
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
StartDeviceLine (
  OUT FRU_LINE  *Line
  )
{
  FruLineReset (Line);
  FruLineAdd (Line, "FRU device ");
  FruLineAddDec (Line, mDevice.DeviceId);
  FruLineAdd (Line, ": ");
}

EFI_STATUS
Usage (
  VOID
  )
{
  for (CONST CHAR8 *Line : mUsage) {
    SayText (Line);
  }

  return EFI_INVALID_PARAMETER;
}

/**
  Report a failed device transfer: the bytes, the operation and the status.
**/
EFI_STATUS
DeviceFailed (
  IN CONST CHAR8  *What,
  IN EFI_STATUS   Status
  )
{
  FRU_LINE  Line;

  StartDeviceLine (&Line);
  FruLineAdd (&Line, What);
  FruLineAdd (&Line, " failed at ");
  FruLineAddOffset (&Line, mDevice.FailedAt);
  FruLineAdd (&Line, ": ");
  AddStatus (&Line, Status);
  Say (&Line);
  return Status;
}

/**
  Read the FRU image of the device into mImage.
**/
EFI_STATUS
ReadImage (
  OUT UINTN  *Size
  )
{
  UINTN       Needed = 0;
  FRU_LINE    Line;
  EFI_STATUS  Status = FruDeviceReadImage (&mDevice, mImage, sizeof (mImage), Size, &Needed);

  if (!EFI_ERROR (Status)) {
    return EFI_SUCCESS;
  }

  StartDeviceLine (&Line);
  if (Needed <= FRU_HEADER_SIZE) {
    FruLineAdd (&Line, "reading the common header failed: ");
    AddStatus (&Line, Status);
  } else {
    FruLineAdd (&Line, "the header names bytes up to ");
    FruLineAddOffset (&Line, Needed);
    FruLineAdd (&Line, ", but reading stopped at ");
    FruLineAddOffset (&Line, mDevice.FailedAt);
    FruLineAdd (&Line, " (");
    AddStatus (&Line, Status);
    FruLineAdd (&Line, "): the device is shorter than its header says, or the BMC failed");
  }

  Say (&Line);
  return Status;
}

EFI_STATUS
CommandPrintOrVerify (
  IN BOOLEAN  Verify
  )
{
  UINTN       Size;
  EFI_STATUS  Status = ReadImage (&Size);

  if (EFI_ERROR (Status)) {
    return Status;
  }

  UINTN  Errors = Verify ? FruVerifyImage (mImage, Size, &mOut) : FruPrintImage (mImage, Size, &mOut);
  if (Verify) {
    FRU_LINE  Line;
    StartDeviceLine (&Line);
    FruLineAdd (&Line, (Errors == 0) ? "every checksum good" : "FAILED");
    Say (&Line);
  }

  return (Errors == 0) ? EFI_SUCCESS : EFI_VOLUME_CORRUPTED;
}

EFI_STATUS
CommandDump (
  IN UINTN    Offset,
  IN BOOLEAN  HaveLength,
  IN UINTN    Length
  )
{
  UINTN       Done = 0;
  EFI_STATUS  Status;

  if (!HaveLength) {
    UINTN  Size;
    Status = ReadImage (&Size);
    if (EFI_ERROR (Status)) {
      return Status;
    }

    Length = (Size > DUMP_DEFAULT) ? Size : DUMP_DEFAULT;
    Length = (Offset < Length) ? Length - Offset : 0;
  }

  Status = FruDeviceRead (&mDevice, Offset, Length, mImage, &Done);
  if (EFI_ERROR (Status)) {
    return DeviceFailed ("reading", Status);
  }

  FruDumpBytes (mImage, Length, Offset, &mOut);
  return EFI_SUCCESS;
}

EFI_STATUS
CommandRead (
  IN CONST CHAR16  *File,
  IN BOOLEAN       HaveLength,
  IN UINTN         Length
  )
{
  UINTN       Size = Length;
  EFI_STATUS  Status;
  FRU_LINE    Line;

  if (HaveLength) {
    Status = FruDeviceRead (&mDevice, 0, Length, mImage, &Size);
    if (EFI_ERROR (Status)) {
      return DeviceFailed ("reading", Status);
    }
  } else {
    Status = ReadImage (&Size);
    if (EFI_ERROR (Status)) {
      return Status;
    }
  }

  Status = ShellIoWriteFile (mShell, File, mImage, Size);
  StartDeviceLine (&Line);
  if (EFI_ERROR (Status)) {
    FruLineAdd (&Line, "cannot write ");
    FruLineAdd (&Line, mArgs[0]);
    FruLineAdd (&Line, ": ");
    AddStatus (&Line, Status);
  } else {
    FruLineAddDec (&Line, Size);
    FruLineAdd (&Line, " bytes saved to ");
    FruLineAdd (&Line, mArgs[0]);
  }

  Say (&Line);
  return Status;
}

/**
  Write Size bytes of mImage at Offset and read them back.
**/
EFI_STATUS
WriteAndCompare (
  IN UINTN  Offset,
  IN UINTN  Size
  )
{
  UINTN       Difference;
  FRU_LINE    Line;
  EFI_STATUS  Status = FruDeviceWriteAndCompare (&mDevice, Offset, Size, mImage + Offset, mScratch, &Difference);

  if (Status == EFI_VOLUME_CORRUPTED) {
    StartDeviceLine (&Line);
    FruLineAdd (&Line, "read-back differs first at ");
    FruLineAddOffset (&Line, Difference);
    FruLineAdd (&Line, ": wrote 0x");
    FruLineAddHex (&Line, mImage[Difference], 2);
    FruLineAdd (&Line, ", read 0x");
    FruLineAddHex (&Line, mScratch[Difference - Offset], 2);
    Say (&Line);
    return Status;
  }

  if (EFI_ERROR (Status)) {
    return DeviceFailed ("writing or reading back", Status);
  }

  return EFI_SUCCESS;
}

EFI_STATUS
CommandWrite (
  IN CONST CHAR16  *File
  )
{
  UINTN       Size;
  UINTN       Done;
  FRU_LINE    Line;
  EFI_STATUS  Status = ShellIoReadFile (mShell, File, mImage, sizeof (mImage), &Size);

  FruLineReset (&Line);
  FruLineAdd (&Line, mArgs[0]);
  if (EFI_ERROR (Status)) {
    FruLineAdd (&Line, ": cannot read: ");
    AddStatus (&Line, Status);
    Say (&Line);
    return Status;
  }

  if (FruVerifyImage (mImage, Size, &mOut) != 0) {
    FruLineAdd (&Line, " is not a good FRU image; nothing written");
    Say (&Line);
    return EFI_VOLUME_CORRUPTED;
  }

  Status = FruDeviceRead (&mDevice, 0, Size, mScratch, &Done);
  if (EFI_ERROR (Status)) {
    return DeviceFailed ("reading the old content", Status);
  }

  UINTN  Length = 0;
  for ( ; (Length < MAX_ARG_LENGTH) && (File[Length] != 0); Length++) {
    mBackupName[Length] = File[Length];
  }

  CONST CHAR16  Suffix[] = u".bak";
  for (UINTN Index = 0; Index < sizeof (Suffix) / sizeof (Suffix[0]); Index++) {
    mBackupName[Length + Index] = Suffix[Index];
  }

  Status = ShellIoWriteFile (mShell, mBackupName, mScratch, Size);
  FruLineReset (&Line);
  FruLineAdd (&Line, mArgs[0]);
  if (EFI_ERROR (Status)) {
    FruLineAdd (&Line, ".bak: cannot save the old content (");
    AddStatus (&Line, Status);
    FruLineAdd (&Line, "); nothing written");
    Say (&Line);
    return Status;
  }

  FruLineAdd (&Line, ".bak: old content saved");
  Say (&Line);

  Status = WriteAndCompare (0, Size);
  if (!EFI_ERROR (Status)) {
    StartDeviceLine (&Line);
    FruLineAddDec (&Line, Size);
    FruLineAdd (&Line, " bytes written and read back");
    Say (&Line);
  }

  return Status;
}

EFI_STATUS
CommandSet (
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
    Say (&Line);
    return EFI_INVALID_PARAMETER;
  }

  EFI_STATUS  Status = ReadImage (&Size);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  FRU_STATUS  Result = FruSetValue (mImage, Size, &Name, Value, &Change, &Error);
  if ((Result == FruErrNoRoom) && (Error.Limit == Size) && (Error.Offset <= sizeof (mImage))) {
    //
    // The last area may grow into device bytes past the image: read them and
    // try again.
    //
    UINTN  Done;
    if (!EFI_ERROR (FruDeviceRead (&mDevice, Size, Error.Offset - Size, mImage + Size, &Done))) {
      Size   = Error.Offset;
      Result = FruSetValue (mImage, Size, &Name, Value, &Change, &Error);
    }
  }

  if (Result != FruOk) {
    FruLineReset (&Line);
    FruLineAdd (&Line, NameText);
    FruLineAdd (&Line, " not set: ");
    FruLineAddError (&Line, &Error);
    Say (&Line);
    return (Result == FruErrNoRoom) ? EFI_BAD_BUFFER_SIZE :
           ((Result == FruErrBadValue) || (Result == FruErrFieldMissing)) ? EFI_INVALID_PARAMETER : EFI_VOLUME_CORRUPTED;
  }

  Status = WriteAndCompare (Change.Start, Change.Length);
  if (!EFI_ERROR (Status)) {
    FruLineReset (&Line);
    FruLineAdd (&Line, NameText);
    FruLineAdd (&Line, " set: ");
    FruLineAdd (&Line, FruAreaName (Name.Area));
    FruLineAdd (&Line, " area at ");
    FruLineAddOffset (&Line, Change.Start);
    FruLineAdd (&Line, " re-laid, ");
    FruLineAddDec (&Line, Change.Length);
    FruLineAdd (&Line, " bytes written and read back");
    Say (&Line);
  }

  return Status;
}

BOOLEAN
IsNumber (
  IN CONST CHAR8  *Text,
  IN UINT64       Max,
  OUT UINTN       *Value
  )
{
  UINT64  Number;

  if (!FruParseNumber (Text, Max, &Number)) {
    return FALSE;
  }

  *Value = static_cast<UINTN>(Number);
  return TRUE;
}

/**
  Run the command in Argv[1..Argc). Arguments are in mArgs as Latin-1 too.
**/
EFI_STATUS
Run (
  IN CHAR16  **Argv,
  IN UINTN   Argc
  )
{
  CONST CHAR8  *Command = mArgs[1];
  UINTN        First    = 2;
  UINTN        Number;
  UINTN        Rest;

  //
  // Commands that name a FILE or a NAME take DEV only as an extra leading
  // argument; the others take it as their first one.
  //
  BOOLEAN  Named    = FruStrEq (Command, "read") || FruStrEq (Command, "write") || FruStrEq (Command, "set");
  UINTN    Required = FruStrEq (Command, "set") ? 2 : (Named ? 1 : 0);
  BOOLEAN  HasDevice = (Argc > 2) && (!Named || (Argc - 2 > Required)) && IsNumber (mArgs[2], 0xFF, &Number);
  if (HasDevice) {
    mDevice.DeviceId = static_cast<UINT8>(Number);
    First++;
  }

  Rest = Argc - First;
  if (FruStrEq (Command, "print") && (Rest == 0)) {
    return CommandPrintOrVerify (FALSE);
  }

  if (FruStrEq (Command, "verify") && (Rest == 0)) {
    return CommandPrintOrVerify (TRUE);
  }

  if (FruStrEq (Command, "dump") && (Rest <= 2)) {
    UINTN  Offset = 0;
    UINTN  Length = 0;
    if (((Rest >= 1) && !IsNumber (mArgs[First], FRU_MAX_IMAGE_SIZE - 1, &Offset)) ||
        ((Rest == 2) && !IsNumber (mArgs[First + 1], FRU_MAX_IMAGE_SIZE - Offset, &Length)))
    {
      return Usage ();
    }

    return CommandDump (Offset, Rest == 2, Length);
  }

  if (FruStrEq (Command, "read") && (Rest >= 1) && (Rest <= 2)) {
    UINTN  Length = 0;
    if ((Rest == 2) && (!IsNumber (mArgs[First + 1], FRU_MAX_IMAGE_SIZE, &Length) || (Length == 0))) {
      return Usage ();
    }

    for (UINTN Index = 0; Index < MAX_ARG_LENGTH; Index++) {
      mArgs[0][Index] = mArgs[First][Index];
    }

    return CommandRead (Argv[First], Rest == 2, Length);
  }

  if (FruStrEq (Command, "write") && (Rest == 1)) {
    for (UINTN Index = 0; Index < MAX_ARG_LENGTH; Index++) {
      mArgs[0][Index] = mArgs[First][Index];
    }

    return CommandWrite (Argv[First]);
  }

  if (FruStrEq (Command, "set") && (Rest == 2)) {
    return CommandSet (mArgs[First], mArgs[First + 1]);
  }

  return Usage ();
}

}  // namespace

/**
  Entry point of FruTool.efi.

  @param[in] ImageHandle  This application's image handle; the shell put its
                          parameters protocol on it.
  @param[in] SystemTable  The UEFI system table.

  @return  The command's status, which the shell keeps as %lasterror%.
**/
EFI_STATUS
EFIAPI
FruToolEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_SHELL_PARAMETERS_PROTOCOL  *Parameters = NULL;
  CONST FRU_ACCESS_PROTOCOL      *Fru        = NULL;

  mSt           = SystemTable;
  mOut.Print    = ShellIoPrint;
  mOut.Context  = SystemTable;

  EFI_STATUS  Status = SystemTable->BootServices->HandleProtocol (
                                                    ImageHandle,
                                                    &gEfiShellParametersProtocolGuid,
                                                    reinterpret_cast<VOID **>(&Parameters)
                                                    );
  if (EFI_ERROR (Status) ||
      EFI_ERROR (SystemTable->BootServices->LocateProtocol (&gEfiShellProtocolGuid, NULL, reinterpret_cast<VOID **>(&mShell))))
  {
    SayText ("FruTool.efi: run it from the UEFI shell (no shell parameters or shell protocol)");
    return EFI_UNSUPPORTED;
  }

  if ((Parameters->Argc < 2) || (Parameters->Argc > MAX_ARGS)) {
    return Usage ();
  }

  for (UINTN Arg = 0; Arg < Parameters->Argc; Arg++) {
    CONST CHAR16  *Wide = Parameters->Argv[Arg];
    UINTN         Index = 0;
    for ( ; Wide[Index] != 0; Index++) {
      if ((Index + 1 >= MAX_ARG_LENGTH) || (Wide[Index] > 0xFF)) {
        SayText ("FruTool.efi: an argument is too long or not Latin-1");
        return EFI_INVALID_PARAMETER;
      }

      mArgs[Arg][Index] = static_cast<CHAR8>(Wide[Index]);
    }

    mArgs[Arg][Index] = 0;
  }

  Status = SystemTable->BootServices->LocateProtocol (&gFruAccessProtocolGuid, NULL, reinterpret_cast<VOID **>(const_cast<FRU_ACCESS_PROTOCOL **>(&Fru)));
  if (EFI_ERROR (Status) || (Fru == NULL)) {
    SayText ("FruTool.efi: no FRU access protocol; load TavriDxe.efi and the IPMI transport driver first");
    return EFI_NOT_FOUND;
  }

  mDevice.Fru      = Fru;
  mDevice.DeviceId = 0;
  mDevice.FailedAt = 0;
  return Run (Parameters->Argv, Parameters->Argc);
}
