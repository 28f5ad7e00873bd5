/** @file
  An emulated x86-64 server board with a small DXE firmware, for running the
  driver on the host.

  The board is its pieces, built here and each handed the pieces it uses.
  What any UEFI firmware provides (Emulator/Core): the trace, the fault plan,
  events and TPL, the protocol database, the variable store and the firmware
  tables. What this board is (Emulator/Board): the processor, the chipset,
  the BMC and its IPMI transports of three
  shapes, the TavriDxe and IpmiProtocolBridgeDxe images and the boot runner.
  Tests reach each piece by name (Board.Variables.Put (...),
  Board.Runner.RunBoot (), Board.Driver.Functions ().ProbeFruRead ()).

  Only one board is live at a time: a driver image reaches the firmware
  through the firmware tables and the processor through its host platform
  layer, neither of which can say which board it means. Making a second one
  while the first is live stops the program.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMULATED_BOARD_H_
#define EMULATED_BOARD_H_

#include "BmcTransport.h"
#include "BmcTransport2.h"
#include "BmcIpmiProtocol.h"
#include "IpmiBridgeImage.h"
#include "BootRunner.h"
#include "Chipset.h"
#include "EmulatedBmc.h"
#include "HostCpu.h"
#include "Processor.h"
#include "TavriDxeImage.h"
#include "Core/EventEngine.h"
#include "Core/FaultPlan.h"
#include "Core/FirmwareTables.h"
#include "Core/HobListBuilder.h"
#include "Core/Names.h"
#include "Core/ProtocolDatabase.h"
#include "Core/TraceLog.h"
#include "Core/VariableStore.h"

#include <string>

namespace Emu {

class EmulatedBoard {
public:
  ///
  /// ModulePath: the driver's host module to load at every boot.
  ///
  explicit EmulatedBoard (const std::string &ModulePath = TavriDxeImage::BuiltModulePath ());
  EmulatedBoard (const EmulatedBoard &) = delete;
  EmulatedBoard &operator= (const EmulatedBoard &) = delete;

  //
  // The firmware.
  //
  TraceLog          Trace;
  FaultPlan         Faults;
  EventEngine       Events;
  ProtocolDatabase  Protocols;
  VariableStore     Variables;
  FirmwareTables    Tables;

  //
  // The board.
  //
  Processor         Cpu;
  Chipset           Chip;
  EmulatedBmc       Bmc;
  BmcTransport      Transport;    ///< one-byte sizes: installed unless a boot script asks for another
  BmcTransport2     Transport2;   ///< IPMI_TRANSPORT2: installed by BootScript::Shape = TransportShape::Transport2
  BmcIpmiProtocol   IpmiProtocol; ///< IPMI_PROTOCOL: installed by TransportShape::IpmiProtocol, with Bridge over it
  IpmiBridgeImage   Bridge;       ///< IpmiProtocolBridgeDxe as the current boot started it
  TavriDxeImage     Driver;     ///< the driver as the current boot loaded it
  BootRunner        Runner;

  ///
  /// Leave a HOB list from the earlier phases and start a new boot with it.
  ///
  void              SetHobList (const Bytes &Raw);
  void              SetHobList (const HobListBuilder &Builder) { SetHobList (Builder.Data ()); }

  ///
  /// Start a new boot: events, handles, volatile variables, named faults, the
  /// configuration table and the reset control register start afresh.
  ///
  void              ResetPlatformState ();

private:
  HostCpu           mHostCpu;   ///< Cpu and Chip as the driver image's platform layer reaches them
};

}

#endif
