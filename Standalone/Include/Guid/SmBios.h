/** @file
  Configuration-table GUIDs of the SMBIOS entry points: the 32-bit one
  ("_SM_") and the 64-bit one ("_SM3_").

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SMBIOS_GUID_H_
#define SMBIOS_GUID_H_

#include <Uefi/UefiBaseType.h>

#define SMBIOS_TABLE_GUID \
  { 0xEB9D2D31, 0x2D88, 0x11D3, { 0x9A, 0x16, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D } }

#define SMBIOS3_TABLE_GUID \
  { 0xF2FD1544, 0x9794, 0x4A2C, { 0x99, 0x2E, 0xE5, 0xBB, 0xCF, 0x20, 0xE3, 0x94 } }

extern EFI_GUID  gEfiSmbiosTableGuid;
extern EFI_GUID  gEfiSmbios3TableGuid;

#endif
