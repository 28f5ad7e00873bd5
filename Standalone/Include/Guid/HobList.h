/** @file
  GUID of the configuration-table entry that holds the start of the HOB list.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef HOB_LIST_GUID_H_
#define HOB_LIST_GUID_H_

#include <Uefi/UefiBaseType.h>

#define EFI_HOB_LIST_GUID \
  { 0x7739F24C, 0x93D7, 0x11D4, { 0x9A, 0x3A, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D } }

extern EFI_GUID  gEfiHobListGuid;

#endif
