/** @file
  The setup variables as the test apps seed them, the way a platform's setup
  stores them: SocketPowerManagementConfig with preset 1 selected but byte 87
  off the preset (14 instead of 15), so the preset is not in force, and
  SocketIioConfig with the IIO import switch on and every other byte 0.
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

#endif
