/** @file
  What FruTool.efi needs from the UEFI shell and the console: its arguments,
  printing a line, and reading and writing whole files by shell path.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EFI_SHELL_IO_H_
#define EFI_SHELL_IO_H_

#include <Uefi.h>
#include <Protocol/Shell.h>
#include <Protocol/ShellParameters.h>
#include <Protocol/SimpleFileSystem.h>

/**
  FRU_PRINT_LINE for the console: Context is the EFI_SYSTEM_TABLE. The line
  is Latin-1; it goes out as UCS-2 with CR LF.
**/
VOID
ShellIoPrint (
  IN VOID         *Context,
  IN CONST CHAR8  *Line
  );

/**
  Read the whole file Name into Buffer.

  @retval EFI_BUFFER_TOO_SMALL  The file is larger than Capacity.
**/
EFI_STATUS
ShellIoReadFile (
  IN  EFI_SHELL_PROTOCOL  *Shell,
  IN  CONST CHAR16        *Name,
  OUT UINT8               *Buffer,
  IN  UINTN               Capacity,
  OUT UINTN               *Size
  );

/**
  Replace the file Name (created when missing) with Size bytes of Buffer.
**/
EFI_STATUS
ShellIoWriteFile (
  IN EFI_SHELL_PROTOCOL  *Shell,
  IN CONST CHAR16        *Name,
  IN CONST UINT8         *Buffer,
  IN UINTN               Size
  );

/**
  Name of a status the tool may report ("EFI_DEVICE_ERROR"), or NULL.
**/
CONST CHAR8 *
ShellIoStatusName (
  IN EFI_STATUS  Status
  );

#endif
