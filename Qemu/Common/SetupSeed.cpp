/** @file
  Seeding of the setup variables by the test apps.
**/

#include "SetupSeed.h"
#include "ReportPort.h"

#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>

namespace {

constexpr UINT32  NV_BS_RT = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;

UINT8  mSeedPm[SOCKET_POWER_MANAGEMENT_CONFIG_SIZE];
UINT8  mSeedIio[SOCKET_IIO_CONFIG_SIZE];

}  // namespace

VOID
SeedSetupVariables (
  IN EFI_RUNTIME_SERVICES  *Rt
  )
{
  for (UINTN Index = 0; Index < sizeof (mSeedPm); Index++) {
    mSeedPm[Index] = 0;
  }

  mSeedPm[PM_PRESET_SELECTOR_OFFSET] = 1;
  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    mSeedPm[Entry.Offset] = Entry.Value[1];
  }

  mSeedPm[87] = 14;
  for (UINTN Index = 0; Index < sizeof (mSeedIio); Index++) {
    mSeedIio[Index] = 0;
  }

  mSeedIio[IIO_HOB_IMPORT_SWITCH_OFFSET] = IIO_HOB_IMPORT_ENABLED;
  Put ("TAVRI seed ");
  PutStatus ("pm", Rt->SetVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, &gSocketPowerManagementConfigGuid, NV_BS_RT, sizeof (mSeedPm), mSeedPm));
  PutStatus (" iio", Rt->SetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, NV_BS_RT, sizeof (mSeedIio), mSeedIio));
  Put ("\n");
}
