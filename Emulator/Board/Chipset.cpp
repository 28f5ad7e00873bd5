/** @file
  The emulated chipset: CMOS banks and the reset control register.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "Chipset.h"
#include "Core/Names.h"
#include "Core/TraceLog.h"

namespace Emu {

VOID
Chipset::PortWrite (UINT16 Port, UINT8 Value)
{
  if (mTrace.Recording ()) {
    mTrace.Record ("IoWrite8", "port " + Hex (Port, 2) + " <- " + Hex (Value, 2), Port, Value);
  }

  switch (Port) {
    case 0x70: mStandardIndex = Value; break;
    case 0x71: mStandardCmos[mStandardIndex & 0x7F] = Value; break;
    case 0x72: mExtendedIndex = Value; break;
    case 0x73: mExtendedCmos[mExtendedIndex & 0x7F] = Value; break;
    case 0xCF9:
      //
      // Reset control register: bit 2 starts the reset, bit 1 makes it a
      // hard reset, bit 3 a full one. 0x0E asks for a full reset.
      //
      mResetControl = Value;
      if ((Value & 0x04) != 0) {
        mOnReset (Value);
      }

      break;
    default:
      break;
  }
}

UINT8
Chipset::PortRead (UINT16 Port)
{
  UINT8  Value = 0xFF;

  switch (Port) {
    case 0x70: Value = mStandardIndex; break;
    case 0x71: Value = mStandardCmos[mStandardIndex & 0x7F]; break;
    case 0x72: Value = mExtendedIndex; break;
    case 0x73: Value = mExtendedCmos[mExtendedIndex & 0x7F]; break;
    case 0xCF9: Value = mResetControl; break;
    default: break;
  }

  if (mTrace.Recording ()) {
    mTrace.Record ("IoRead8", "port " + Hex (Port, 2) + " -> " + Hex (Value, 2), Port, Value);
  }

  return Value;
}

}
