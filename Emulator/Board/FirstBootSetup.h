/** @file
  A typical first boot of a board that has not run the driver yet: the
  processor's TSC ratio, the power-management preset selected but not in
  force, the IIO import switched on, and an IIO source HOB left by PEI.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_FIRST_BOOT_SETUP_H_
#define EMU_FIRST_BOOT_SETUP_H_

#include <Uefi.h>

namespace Emu {

class Processor;
class VariableStore;
class FirmwareTables;

/**
  Seed a board for a first boot: MSR 0xCE with a TSC ratio of 32 (3.2 GHz),
  both setup variables non-volatile with boot-service and runtime access,
  SocketPowerManagementConfig with preset 1 selected and all its bytes in
  force but byte 87, SocketIioConfig filled with IioFill and its import
  switch on, and a HOB list of a resource descriptor and the IIO source HOB
  whose data byte N is N * HobStep.
**/
void
SeedFirstBoot (Processor &Cpu, VariableStore &Variables, FirmwareTables &Tables, UINT8 IioFill, UINT8 HobStep);

}

#endif
