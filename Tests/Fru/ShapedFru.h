/** @file
  A board with a 64 KiB FRU device 0 (no byte of it a poison or marker
  value), booted with the IPMI transport of one shape, and the FRU access
  protocol TavriDxe installed on it: the fixture of the tests that run FRU
  access through each transport shape.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SHAPED_FRU_H_
#define SHAPED_FRU_H_

#include <Board/EmulatedBoard.h>

#include <Protocol/FruAccess.h>

namespace FruShapes {

using namespace Emu;

constexpr UINT64  RATIO_32 = 0x20ull << 8;

class ShapedFru {
public:
  explicit ShapedFru (TransportShape Shape)
  {
    BootScript  Script;
    Bytes       Device (0x10000);

    for (size_t Index = 0; Index < Device.size (); Index++) {
      Device[Index] = static_cast<UINT8>(0x10 + (Index % 0x80));   // never POISON_BYTE
    }

    Board.Bmc.SetFruDevice (0, Device);
    Board.Cpu.SetMsr (0xCE, RATIO_32);
    Script.Shape = Shape;
    Board.Runner.RunBoot (Script);
    Fru = static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
    Board.Bmc.ClearRequests ();
  }

  Bytes  Device (size_t Offset, size_t Count) { return Bytes (Board.Bmc.Fru (0).begin () + Offset, Board.Bmc.Fru (0).begin () + Offset + Count); }

  EmulatedBoard        Board;
  FRU_ACCESS_PROTOCOL  *Fru = nullptr;
};

}

#endif
