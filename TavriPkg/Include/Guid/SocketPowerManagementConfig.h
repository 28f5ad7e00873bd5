/** @file
  The SocketPowerManagementConfig setup variable, as far as the power-management
  preset touches it: its name, vendor GUID and size, the selector byte and the
  nine bytes each preset fixes.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SOCKET_POWER_MANAGEMENT_CONFIG_H_
#define SOCKET_POWER_MANAGEMENT_CONFIG_H_

#include <Uefi/UefiBaseType.h>
#include <Ucs2Text.h>

#define SOCKET_POWER_MANAGEMENT_CONFIG_GUID \
  { 0xA1047342, 0xBDBA, 0x4DAE, { 0xA6, 0x7A, 0x40, 0x97, 0x9B, 0x65, 0xC7, 0xF8 } }

extern EFI_GUID  gSocketPowerManagementConfigGuid;

inline constexpr UCS2_TEXT  mSocketPowerManagementConfigName = Ucs2Text (u"SocketPowerManagementConfig");
#define SOCKET_POWER_MANAGEMENT_CONFIG_NAME  (mSocketPowerManagementConfigName.Text)

constexpr UINTN  SOCKET_POWER_MANAGEMENT_CONFIG_SIZE = 524;

///
/// Byte that names the preset in force: 0, 1 or 2; any other value names none.
///
constexpr UINTN  PM_PRESET_SELECTOR_OFFSET = 419;
constexpr UINT8  PM_PRESET_COUNT           = 3;

///
/// One byte of the variable that every preset fixes, with the value each
/// preset requires there.
///
typedef struct {
  UINT16    Offset;
  UINT8     Value[PM_PRESET_COUNT];
} PM_PRESET_ENTRY;

constexpr PM_PRESET_ENTRY  PowerManagementPresetTable[] = {
  //  Offset  Preset 0  1   2
  { 4,  { 1, 1,  0     } },
  { 17, { 1, 1,  1     } },
  { 28, { 1, 1,  0     } },
  { 55, { 0, 2,  0     } },
  { 58, { 0, 1,  0     } },
  { 59, { 0, 1,  0     } },
  { 63, { 0, 1,  0     } },
  { 86, { 1, 1,  1     } },
  { 87, { 0, 15, 0     } },
};

constexpr UINTN  PM_PRESET_ENTRY_COUNT = sizeof (PowerManagementPresetTable) / sizeof (PowerManagementPresetTable[0]);

static_assert (PM_PRESET_ENTRY_COUNT == 9, "each preset fixes nine bytes");
static_assert (PM_PRESET_SELECTOR_OFFSET < SOCKET_POWER_MANAGEMENT_CONFIG_SIZE, "selector inside the variable");

constexpr bool
PmPresetTableFits (
  VOID
  )
{
  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    if ((Entry.Offset >= SOCKET_POWER_MANAGEMENT_CONFIG_SIZE) || (Entry.Offset == PM_PRESET_SELECTOR_OFFSET)) {
      return false;
    }
  }

  return true;
}

static_assert (PmPresetTableFits (), "preset bytes lie inside the variable and apart from the selector");

#endif
