/** @file
  The UEFI global variables the deployment apps read and write: SecureBoot,
  Driver#### and DriverOrder, and the load option layout of Driver####.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef GLOBAL_VARIABLE_GUID_H_
#define GLOBAL_VARIABLE_GUID_H_

#include <Uefi/UefiBaseType.h>

#define EFI_GLOBAL_VARIABLE_GUID \
  { 0x8BE4DF61, 0x93CA, 0x11D2, { 0xAA, 0x0D, 0x00, 0xE0, 0x98, 0x03, 0x2B, 0x8C } }

extern EFI_GUID  gEfiGlobalVariableGuid;

///
/// A load option (Boot####, Driver####) starts with these fields; the
/// NUL-terminated CHAR16 description follows, then FilePathListLength bytes
/// of device path, then optional data. The fields are packed: the
/// description starts at byte 6.
///
constexpr UINT32  LOAD_OPTION_ACTIVE                 = 0x00000001;
constexpr UINTN   LOAD_OPTION_ATTRIBUTES_OFFSET      = 0;
constexpr UINTN   LOAD_OPTION_FILE_PATH_LENGTH_OFFSET = 4;
constexpr UINTN   LOAD_OPTION_DESCRIPTION_OFFSET     = 6;

#endif
