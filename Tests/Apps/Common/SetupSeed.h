/** @file
  The setup variables as the test apps seed them, the way a platform's setup
  stores them: SocketPowerManagementConfig with preset 1 selected but byte 87
  off the preset (14 instead of 15), so the preset is not in force, and
  SocketIioConfig with the IIO import switch on and every other byte 0; and
  the counts the apps report when they read the variables back.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SETUP_SEED_H_
#define SETUP_SEED_H_

#include <Uefi.h>

/**
  Store both variables (non-volatile, boot and runtime access) and report
  "TAVRI seed pm=<status> iio=<status>".

  @param[in]  Rt  The runtime services.
**/
VOID
SeedSetupVariables (
  IN EFI_RUNTIME_SERVICES  *Rt
  );

/**
  How many of the nine preset bytes a SocketPowerManagementConfig holds at
  the values of the preset its selector names.

  @param[in]  Pm  The variable's SOCKET_POWER_MANAGEMENT_CONFIG_SIZE bytes.

  @return 0 to 9; 0 when the selector names no preset.
**/
UINTN
PresetBytesInForce (
  IN CONST UINT8  *Pm
  );

/**
  How many of the bytes the IIO import copies a SocketIioConfig holds at the
  values of the IIO source HOB.

  @param[in]  Iio      The variable's SOCKET_IIO_CONFIG_SIZE bytes.
  @param[in]  HobByte  The HOB's data byte at each data offset.

  @return 0 to the 144 bytes of the copy map.
**/
UINTN
IioBytesFromHob (
  IN CONST UINT8  *Iio,
  IN UINT8        (*HobByte)(UINTN Index)
  );

#endif
