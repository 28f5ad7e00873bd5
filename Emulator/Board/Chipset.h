/** @file
  The emulated chipset as a driver reaches it through byte-wide I/O ports:
  the standard CMOS bank (index 0x70, data 0x71), the extended CMOS bank
  (index 0x72, data 0x73) and the reset control register at 0xCF9. Every
  other port reads 0xFF and ignores writes.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_CHIPSET_H_
#define EMU_CHIPSET_H_

#include <Uefi.h>

#include <array>
#include <functional>

namespace Emu {

class TraceLog;

class Chipset {
public:
  ///
  /// OnReset is called when a write to 0xCF9 asks for a reset (bit 2); it
  /// does not return.
  ///
  Chipset (TraceLog &Log, std::function<void (UINT8 Value)> OnReset)
    : mTrace (Log), mOnReset (std::move (OnReset)) {}

  VOID    PortWrite (UINT16 Port, UINT8 Value);
  UINT8   PortRead (UINT16 Port);

  UINT8   ExtendedCmos (UINT8 Index) const { return mExtendedCmos[Index & 0x7F]; }
  void    SetExtendedCmos (UINT8 Index, UINT8 Value) { mExtendedCmos[Index & 0x7F] = Value; }
  UINT8   StandardCmos (UINT8 Index) const { return mStandardCmos[Index & 0x7F]; }
  void    SetStandardCmos (UINT8 Index, UINT8 Value) { mStandardCmos[Index & 0x7F] = Value; }

  ///
  /// A new boot: the reset control register reads 0 again. The CMOS keeps
  /// its contents.
  ///
  void    Reset () { mResetControl = 0; }

private:
  TraceLog                           &mTrace;
  std::function<void (UINT8 Value)>   mOnReset;
  std::array<UINT8, 128>              mStandardCmos {};
  std::array<UINT8, 128>              mExtendedCmos {};
  UINT8                               mStandardIndex = 0;
  UINT8                               mExtendedIndex = 0;
  UINT8                               mResetControl = 0;
};

}

#endif
