/** @file
  A typical first boot of a board that has not run the driver yet.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FirstBootSetup.h"
#include "Processor.h"
#include "Core/FirmwareTables.h"
#include "Core/HobListBuilder.h"
#include "Core/VariableStore.h"

#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Library/TavriBaseLib.h>

namespace Emu {

namespace {


}

void
SeedFirstBoot (Processor &Cpu, VariableStore &Variables, FirmwareTables &Tables, UINT8 IioFill, UINT8 HobStep)
{
  Cpu.SetMsr (0xCE, 0x20ull << 8);

  Bytes  Pm (SOCKET_POWER_MANAGEMENT_CONFIG_SIZE, 0);
  Pm[PM_PRESET_SELECTOR_OFFSET] = 1;
  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    Pm[Entry.Offset] = Entry.Value[1];
  }

  Pm[87] = 14;
  Variables.Put (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, gSocketPowerManagementConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Pm);

  Bytes  Iio (SOCKET_IIO_CONFIG_SIZE, IioFill);
  Iio[IIO_HOB_IMPORT_SWITCH_OFFSET] = IIO_HOB_IMPORT_ENABLED;
  Variables.Put (SOCKET_IIO_CONFIG_NAME, gSocketIioConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Iio);

  Bytes  Hob (IIO_SOURCE_HOB_MIN_DATA_SIZE);
  for (size_t Index = 0; Index < Hob.size (); Index++) {
    Hob[Index] = static_cast<UINT8>(Index * HobStep);
  }

  Tables.SetHobList (HobListBuilder ().AddHob (EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 48).AddGuidHob (gIioSourceHobGuid, Hob).End ().Data ());
  Tables.ResetConfigurationTables ();
}

}
