/** @file
  The boot-hook trigger protocol. It has no interface of its own: installing
  any interface under this GUID runs the driver's boot hook list.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef BOOT_HOOK_TRIGGER_GUID_H_
#define BOOT_HOOK_TRIGGER_GUID_H_

#include <Uefi/UefiBaseType.h>

#define BOOT_HOOK_TRIGGER_PROTOCOL_GUID \
  { 0x5E90A50D, 0x6955, 0x4A49, { 0x90, 0x32, 0xDA, 0x38, 0x12, 0xF8, 0xE8, 0xE5 } }

extern EFI_GUID  gBootHookTriggerProtocolGuid;

#endif
