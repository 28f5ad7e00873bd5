/** @file
  FruTool.efi: reads, checks and programs the BMC's FRU devices from the UEFI
  shell, through the FRU access protocol.

    FruTool.efi print  [DEV]                    every field as `name: value`
    FruTool.efi verify [DEV]                    header, areas and checksums
    FruTool.efi dump   [DEV [OFFSET [LENGTH]]]  hex dump (default: the image)
    FruTool.efi read   [DEV] FILE [LENGTH]      save the image (or LENGTH bytes)
    FruTool.efi write  [DEV] FILE               program FILE; old bytes to FILE.bak
    FruTool.efi set    [DEV] NAME VALUE         set one field; areas after it
                                                move up when it outgrows its area
    FruTool.efi program [DEV] FILE              verify FILE, keep the device's
                                                image in FILE.bak, write, read
                                                back, compare: one line of result

  Before each command the tool asks the BMC for the device's size and access
  unit (Get FRU Inventory Area Info) and works within that size; it refuses to
  write a device addressed in words. When the BMC does not answer, it says so
  and goes by the image's own lengths.

  DEV is the FRU device ID (default 0). The exit status, which the shell keeps
  in %lasterror%, is EFI_SUCCESS when the command did its job and the image
  passed every check, and an error status otherwise.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>
#include <Protocol/FruAccess.h>

#include "FruToolEfi.h"

extern "C" EFI_STATUS EFIAPI FruToolEntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

namespace {

CONST CHAR8  *CONST  mUsage[] = {
  "usage: FruTool.efi print   [DEV]",
  "       FruTool.efi verify  [DEV]",
  "       FruTool.efi dump    [DEV [OFFSET [LENGTH]]]",
  "       FruTool.efi read    [DEV] FILE [LENGTH]",
  "       FruTool.efi write   [DEV] FILE",
  "       FruTool.efi set     [DEV] NAME VALUE",
  "       FruTool.efi program [DEV] FILE",
  "DEV is the FRU device ID, 0 when left out. NAME is a field as print shows it.",
};

EFI_STATUS
Usage (
  VOID
  )
{
  for (CONST CHAR8 *Line : mUsage) {
    gTool.Out.Print (gTool.Out.Context, Line);
  }

  return EFI_INVALID_PARAMETER;
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
  Run the command in Argv[1..Argc). Arguments are in gTool.Args as Latin-1 too.
**/
EFI_STATUS
Run (
  IN CHAR16  **Argv,
  IN UINTN   Argc
  )
{
  CONST CHAR8  *Command = gTool.Args[1];
  UINTN        First    = 2;
  UINTN        Number;
  UINTN        Rest;

  //
  // Commands that name a FILE or a NAME take DEV only as an extra leading
  // argument; the others take it as their first one.
  //
  BOOLEAN  Named    = FruStrEq (Command, "read") || FruStrEq (Command, "write") || FruStrEq (Command, "set") ||
                      FruStrEq (Command, "program");
  UINTN    Required = FruStrEq (Command, "set") ? 2 : (Named ? 1 : 0);
  BOOLEAN  HasDevice = (Argc > 2) && (!Named || (Argc - 2 > Required)) && IsNumber (gTool.Args[2], 0xFF, &Number);
  if (HasDevice) {
    gTool.Device.DeviceId = static_cast<UINT8>(Number);
    First++;
  }

  Rest = Argc - First;
  BOOLEAN  Known = (FruStrEq (Command, "print") && (Rest == 0)) || (FruStrEq (Command, "verify") && (Rest == 0)) ||
                   (FruStrEq (Command, "dump") && (Rest <= 2)) || (FruStrEq (Command, "read") && (Rest >= 1) && (Rest <= 2)) ||
                   ((FruStrEq (Command, "write") || FruStrEq (Command, "program")) && (Rest == 1)) ||
                   (FruStrEq (Command, "set") && (Rest == 2));
  if (!Known) {
    return Usage ();
  }

  ToolQueryDevice (FruStrEq (Command, "program"));
  if (FruStrEq (Command, "print") || FruStrEq (Command, "verify")) {
    return ToolPrintOrVerify (FruStrEq (Command, "verify"));
  }

  if (FruStrEq (Command, "dump")) {
    UINTN  Offset = 0;
    UINTN  Length = 0;
    if (((Rest >= 1) && !IsNumber (gTool.Args[First], FRU_MAX_IMAGE_SIZE - 1, &Offset)) ||
        ((Rest == 2) && !IsNumber (gTool.Args[First + 1], FRU_MAX_IMAGE_SIZE - Offset, &Length)))
    {
      return Usage ();
    }

    return ToolDump (Offset, Rest == 2, Length);
  }

  if (FruStrEq (Command, "read")) {
    UINTN  Length = 0;
    if ((Rest == 2) && (!IsNumber (gTool.Args[First + 1], FRU_MAX_IMAGE_SIZE, &Length) || (Length == 0))) {
      return Usage ();
    }

    return ToolRead (Argv[First], gTool.Args[First], Rest == 2, Length);
  }

  if (FruStrEq (Command, "write")) {
    return ToolWrite (Argv[First], gTool.Args[First]);
  }

  if (FruStrEq (Command, "program")) {
    return ToolProgram (Argv[First], gTool.Args[First]);
  }

  return ToolSet (gTool.Args[First], gTool.Args[First + 1]);
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

  gTool.St          = SystemTable;
  gTool.Out.Print   = ShellIoPrint;
  gTool.Out.Context = SystemTable;

  EFI_STATUS  Status = SystemTable->BootServices->HandleProtocol (
                                                    ImageHandle,
                                                    &gEfiShellParametersProtocolGuid,
                                                    reinterpret_cast<VOID **>(&Parameters)
                                                    );
  if (EFI_ERROR (Status) ||
      EFI_ERROR (SystemTable->BootServices->LocateProtocol (&gEfiShellProtocolGuid, NULL, reinterpret_cast<VOID **>(&gTool.Shell))))
  {
    gTool.Out.Print (gTool.Out.Context, "FruTool.efi: run it from the UEFI shell (no shell parameters or shell protocol)");
    return EFI_UNSUPPORTED;
  }

  if ((Parameters->Argc < 2) || (Parameters->Argc > FRU_TOOL_MAX_ARGS)) {
    return Usage ();
  }

  for (UINTN Arg = 0; Arg < Parameters->Argc; Arg++) {
    CONST CHAR16  *Wide = Parameters->Argv[Arg];
    UINTN         Index = 0;
    for ( ; Wide[Index] != 0; Index++) {
      if ((Index + 1 >= FRU_TOOL_MAX_ARG_LENGTH) || (Wide[Index] > 0xFF)) {
        gTool.Out.Print (gTool.Out.Context, "FruTool.efi: an argument is too long or not Latin-1");
        return EFI_INVALID_PARAMETER;
      }

      gTool.Args[Arg][Index] = static_cast<CHAR8>(Wide[Index]);
    }

    gTool.Args[Arg][Index] = 0;
  }

  Status = SystemTable->BootServices->LocateProtocol (&gFruAccessProtocolGuid, NULL, reinterpret_cast<VOID **>(const_cast<FRU_ACCESS_PROTOCOL **>(&Fru)));
  if (EFI_ERROR (Status) || (Fru == NULL)) {
    gTool.Out.Print (gTool.Out.Context, "FruTool.efi: no FRU access protocol; load TavriDxe.efi and the IPMI transport driver first");
    return EFI_NOT_FOUND;
  }

  gTool.Device.Fru      = Fru;
  gTool.Device.DeviceId = 0;
  gTool.Device.FailedAt = 0;
  return Run (Parameters->Argv, Parameters->Argc);
}
