/** @file
  Event groups of the UEFI specification that this project joins or signals.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EVENT_GROUP_GUID_H_
#define EVENT_GROUP_GUID_H_

#include <Uefi/UefiBaseType.h>

#define EFI_EVENT_GROUP_READY_TO_BOOT \
  { 0x7CE88FB3, 0x4BD7, 0x4679, { 0x87, 0xA8, 0xA8, 0xD8, 0xDE, 0xE5, 0x0D, 0x2B } }

extern EFI_GUID  gEfiEventReadyToBootGuid;

#endif
