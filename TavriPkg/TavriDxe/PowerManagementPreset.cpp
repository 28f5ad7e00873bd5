/** @file
  Keeps the power-management preset named by SocketPowerManagementConfig's
  selector in force. When any of the preset's nine bytes differ, the hook
  stores the preset and resets the platform; the next boot finds it in force.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "TavriDxe.h"
#include "Platform/CpuIo.h"
#include "Platform/FirmwareServices.h"

#include <Guid/SocketPowerManagementConfig.h>

constexpr UINT16  RESET_CONTROL_PORT = 0xCF9;
constexpr UINT8   RESET_CONTROL_FULL_RESET = 0x0E;

/**
  Bring SocketPowerManagementConfig into line with its selected preset.

  @retval EFI_SUCCESS         The preset was in force, the selector names none,
                              or the preset was stored and the reset requested.
  @retval EFI_BAD_BUFFER_SIZE The variable is smaller than 524 bytes; it is
                              left alone, with no write and no reset.
  @retval EFI_UNSUPPORTED     The preset is not in force but the variable is
                              volatile: a reset would lose the stored preset
                              and come back to the same mismatch on every
                              boot, so there is no write and no reset.
  @retval other               The error of GetVariable (nothing changed) or of
                              SetVariable (no reset).
**/
EFI_STATUS
EFIAPI
EnforcePowerManagementPreset (
  VOID
  )
{
  EFI_STATUS  Status;
  UINT8       Buffer[SOCKET_POWER_MANAGEMENT_CONFIG_SIZE];
  UINTN       Size = sizeof (Buffer);
  UINT32      Attributes = 0;
  UINT8       Selector;
  BOOLEAN     InForce = TRUE;

  Status = FwGetVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, &gSocketPowerManagementConfigGuid, &Attributes, &Size, Buffer);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  //
  // A shorter variable would be written back with bytes it never held.
  //
  if (Size != sizeof (Buffer)) {
    return EFI_BAD_BUFFER_SIZE;
  }

  Selector = Buffer[PM_PRESET_SELECTOR_OFFSET];
  if (Selector >= PM_PRESET_COUNT) {
    return EFI_SUCCESS;
  }

  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    InForce = InForce && (Buffer[Entry.Offset] == Entry.Value[Selector]);
  }

  if (InForce) {
    return EFI_SUCCESS;
  }

  if ((Attributes & EFI_VARIABLE_NON_VOLATILE) == 0) {
    return EFI_UNSUPPORTED;
  }

  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    Buffer[Entry.Offset] = Entry.Value[Selector];
  }

  Status = FwSetVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, &gSocketPowerManagementConfigGuid, Attributes, sizeof (Buffer), Buffer);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  IoWrite8 (RESET_CONTROL_PORT, RESET_CONTROL_FULL_RESET);
  return EFI_SUCCESS;
}
