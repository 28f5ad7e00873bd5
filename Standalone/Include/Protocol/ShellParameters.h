/** @file
  The UEFI Shell's parameters protocol: installed by the shell on the image
  handle of every application it starts, it carries the command line split
  into arguments and the shell's standard file handles.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SHELL_PARAMETERS_PROTOCOL_H_
#define SHELL_PARAMETERS_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>

#define EFI_SHELL_PARAMETERS_PROTOCOL_GUID \
  { 0x752F3136, 0x4E16, 0x4FDC, { 0xA2, 0x2A, 0xE5, 0xF4, 0x68, 0x12, 0xF4, 0xCA } }

extern EFI_GUID  gEfiShellParametersProtocolGuid;

typedef VOID  *SHELL_FILE_HANDLE;

typedef struct {
  CHAR16               **Argv;   ///< Argv[0] is the application's own name
  UINTN                Argc;
  SHELL_FILE_HANDLE    StdIn;
  SHELL_FILE_HANDLE    StdOut;
  SHELL_FILE_HANDLE    StdErr;
} EFI_SHELL_PARAMETERS_PROTOCOL;

static_assert (OFFSET_OF (EFI_SHELL_PARAMETERS_PROTOCOL, Argc) == 8, "Argv, then Argc");
static_assert (sizeof (EFI_SHELL_PARAMETERS_PROTOCOL) == 40, "Argv, Argc and three file handles");

#endif
