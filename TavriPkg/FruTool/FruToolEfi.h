/** @file
  What the commands of FruTool.efi share: the device, its size and access
  unit as the BMC gives them, the image buffers, and the lines every command
  prints.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_TOOL_EFI_H_
#define FRU_TOOL_EFI_H_

#include <Uefi.h>

#include "EfiShellIo.h"
#include <Library/FruDevice.h>
#include <Library/FruInventory.h>
#include <Library/FruText.h>

constexpr UINTN  FRU_TOOL_MAX_ARGS       = 8;
constexpr UINTN  FRU_TOOL_MAX_ARG_LENGTH = 256;

typedef struct {
  EFI_SYSTEM_TABLE      *St;
  EFI_SHELL_PROTOCOL    *Shell;
  FRU_OUTPUT            Out;
  FRU_DEVICE            Device;
  FRU_INVENTORY_INFO    Info;
  EFI_STATUS            InfoStatus;     ///< EFI_SUCCESS when Info holds the BMC's answer
  UINT8                 Image[FRU_MAX_IMAGE_SIZE];
  UINT8                 Scratch[FRU_MAX_IMAGE_SIZE];
  CHAR8                 Args[FRU_TOOL_MAX_ARGS][FRU_TOOL_MAX_ARG_LENGTH];
  CHAR16                BackupName[FRU_TOOL_MAX_ARG_LENGTH + 8];
} FRU_TOOL;

extern FRU_TOOL  gTool;

VOID
ToolSay (
  IN CONST FRU_LINE  *Line
  );

VOID
ToolAddStatus (
  IN OUT FRU_LINE    *Line,
  IN     EFI_STATUS  Status
  );

/**
  Start a line with "FRU device N: ".
**/
VOID
ToolStartDeviceLine (
  OUT FRU_LINE  *Line
  );

/**
  Say where a device transfer failed and return its status.
**/
EFI_STATUS
ToolDeviceFailed (
  IN CONST CHAR8  *What,
  IN EFI_STATUS   Status
  );

/**
  Ask the BMC for the device's size and access unit and, unless Quiet, say
  what it gave.
**/
VOID
ToolQueryDevice (
  IN BOOLEAN  Quiet
  );

/**
  The device's size in bytes, or FRU_MAX_IMAGE_SIZE when the BMC did not say.
**/
UINTN
ToolDeviceBytes (
  VOID
  );

/**
  Refuse (say why, return an error) a write of [0, End) to a device that is
  word-addressed or smaller than End; EFI_SUCCESS when it may go ahead.
**/
EFI_STATUS
ToolCheckWritable (
  IN UINTN  End
  );

/**
  Read the FRU image of the device into gTool.Image, as far as its header
  names and never past the device's size; say what failed.
**/
EFI_STATUS
ToolReadImage (
  OUT UINTN  *Size
  );

/**
  Write Size bytes of gTool.Image at Offset, read them back and compare.
**/
EFI_STATUS
ToolWriteAndCompare (
  IN UINTN  Offset,
  IN UINTN  Size
  );

/**
  Save Size bytes of gTool.Scratch as File with ".bak" added.
**/
EFI_STATUS
ToolSaveBackup (
  IN CONST CHAR16  *File,
  IN UINTN         Size
  );

EFI_STATUS  ToolPrintOrVerify (IN BOOLEAN Verify);
EFI_STATUS  ToolDump (IN UINTN Offset, IN BOOLEAN HaveLength, IN UINTN Length);
EFI_STATUS  ToolRead (IN CONST CHAR16 *File, IN CONST CHAR8 *Name, IN BOOLEAN HaveLength, IN UINTN Length);
EFI_STATUS  ToolWrite (IN CONST CHAR16 *File, IN CONST CHAR8 *Name);
EFI_STATUS  ToolSet (IN CONST CHAR8 *NameText, IN CONST CHAR8 *Value);
EFI_STATUS  ToolProgram (IN CONST CHAR16 *File, IN CONST CHAR8 *Name);

#endif
