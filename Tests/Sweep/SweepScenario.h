/** @file
  The board the error-injection sweep runs on, and what it checks after every
  run.

  The board is a typical first boot: the power-management preset not in force
  (so boot 1 stores it and resets), the IIO import switched on with an IIO
  source HOB, a BMC with FRU device 0, the trigger protocol installed and
  ready-to-boot signalled. A clean run is two boots: a preset reset, then a
  boot that goes on to the OS loader. The IPMI transport installed is the
  board's transport of either shape.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SWEEP_SCENARIO_H_
#define SWEEP_SCENARIO_H_

#include <Board/EmulatedBoard.h>

#include <string>
#include <vector>

namespace Sweep {

///
/// What the board holds once a run is over.
///
struct Outcome {
  Emu::BootEnd  LastEnd = Emu::BootEnd::Completed;
  Emu::Bytes    PowerManagement;
  Emu::Bytes    IioConfig;
  UINT8         CmosMarker = 0;
  bool          FruInstalled = false;
  bool          FruReadsDevice = false;   ///< a ReadFruData through it returns device 0's bytes

  bool operator== (const Outcome &Other) const;
};

std::string Describe (const Outcome &State);

///
/// Put the scenario's data on a fresh board.
///
void                    Prepare (Emu::EmulatedBoard &Board);
Emu::BootScript         Script (Emu::TransportShape Shape);

///
/// Boot until a boot completes (at most four boots).
///
std::vector<Emu::BootRecord>  RunToCompletion (Emu::EmulatedBoard &Board, Emu::TransportShape Shape);

///
/// Every broken rule in the trace of these boots, one line each:
///   - the entry point returned something other than EFI_SUCCESS;
///   - a SetVariable without a successful GetVariable of that variable in
///     the same hook, or with a size other than the size read and the
///     variable's own;
///   - a reset with no successful store of the preset before it;
///   - the FRU access protocol installed without a located IPMI transport.
///
std::vector<std::string>  CheckRules (const Emu::EmulatedBoard &Board, const std::vector<Emu::BootRecord> &Boots);

///
/// The board's state now; a ReadFruData through the FRU protocol, if any,
/// tells whether it reaches the BMC.
///
Outcome                  Observe (Emu::EmulatedBoard &Board, const std::vector<Emu::BootRecord> &Boots);

///
/// Name the case being run, so that a crash, a firmware ASSERT, a sanitizer
/// report or a hang (a case taking longer than Seconds) names it too.
///
void                     BeginCase (const std::string &Name, unsigned Seconds);
void                     EndCase ();

}

#endif
