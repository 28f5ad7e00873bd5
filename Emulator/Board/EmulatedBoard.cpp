/** @file
  The emulated board: its pieces built and handed to each other.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EmulatedBoard.h"

namespace Emu {

EmulatedBoard::EmulatedBoard (const std::string &ModulePath)
  : Events (Trace, Faults),
    Protocols (Trace, Faults, Events),
    Variables (Trace, Faults, Events),
    Tables (Trace, Events, Protocols, Variables, [this](EFI_RESET_TYPE, EFI_STATUS) { Runner.EndBootByReset (BootEnd::ResetSystem, 0); }),
    Cpu (Trace),
    Chip (Trace, [this](UINT8 Value) { Runner.EndBootByReset (BootEnd::ResetByPortCf9, Value); }),
    Bmc (Trace),
    Transport (Bmc),
    Transport2 (Bmc),
    IpmiProtocol (Bmc),
    Driver (ModulePath),
    Runner ({ Trace, Tables, Protocols, Events, Driver, Transport, Transport2, IpmiProtocol, Bridge, [this]() { ResetPlatformState (); } }),
    mHostCpu (Cpu, Chip)
{
  ResetPlatformState ();
}

void
EmulatedBoard::SetHobList (const Bytes &Raw)
{
  Tables.SetHobList (Raw);
  ResetPlatformState ();
}

void
EmulatedBoard::ResetPlatformState ()
{
  Events.Reset ();
  Protocols.Reset ();
  Faults.ForgetNamed ();
  Chip.Reset ();
  IpmiProtocol.Reset ();
  Variables.DropVolatile ();
  Tables.ResetConfigurationTables ();
}

}
