/** @file
  Seeding of the setup variables by the test apps.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "SetupSeed.h"
#include "ReportPort.h"

#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Library/TavriBaseLib.h>

namespace {


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
  PutStatus ("pm", Rt->SetVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, &gSocketPowerManagementConfigGuid, TAVRI_VARIABLE_NV_BS_RT, sizeof (mSeedPm), mSeedPm));
  PutStatus (" iio", Rt->SetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, TAVRI_VARIABLE_NV_BS_RT, sizeof (mSeedIio), mSeedIio));
  Put ("\n");
}

UINTN
PresetBytesInForce (
  IN CONST UINT8  *Pm
  )
{
  UINT8  Selector = Pm[PM_PRESET_SELECTOR_OFFSET];
  UINTN  InForce  = 0;

  if (Selector >= PM_PRESET_COUNT) {
    return 0;
  }

  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    InForce += (Pm[Entry.Offset] == Entry.Value[Selector]) ? 1 : 0;
  }

  return InForce;
}

UINTN
IioBytesFromHob (
  IN CONST UINT8  *Iio,
  IN UINT8        (*HobByte)(UINTN Index)
  )
{
  UINTN  Matching = 0;

  for (const IIO_COPY_RANGE &Range : IioCopyMap) {
    for (UINTN Socket = 0; Socket < IIO_IMPORTED_SOCKETS; Socket++) {
      for (UINTN Index = 0; Index < Range.Length; Index++) {
        UINT8  Held = Iio[Range.VarOffset + Socket * Range.VarStride + Index];
        Matching += (Held == HobByte (Range.HobOffset + Socket * Range.HobStride + Index)) ? 1 : 0;
      }
    }
  }

  return Matching;
}
