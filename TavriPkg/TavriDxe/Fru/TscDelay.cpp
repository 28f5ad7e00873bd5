/** @file
  Busy wait of FRU_BUSY_DELAY_US on the time-stamp counter.

  The counter runs at the maximum non-turbo ratio times 100 MHz; the ratio is
  bits 15:8 of MSR_PLATFORM_INFO. No firmware timer is used, so the wait works
  at TPL_CALLBACK and without interrupts.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "TscDelay.h"
#include "../Platform/CpuIo.h"

/**
  Wait FRU_BUSY_DELAY_US microseconds.

  A ratio of 0 waits until the counter moves past its start. An end time that
  wraps past 2^64 ends the wait at the first reading.

  @return FRU_BUSY_DELAY_US, the microseconds waited.
**/
UINT64
TscDelayMicroseconds (
  VOID
  )
{
  UINT64  Ratio;
  UINT64  Start;
  UINT64  Ticks;
  UINT64  End;

  Ratio = (AsmReadMsr64 (MSR_PLATFORM_INFO) >> 8) & 0xFF;
  Start = AsmReadTsc ();

  //
  // Ratio x 100 MHz x 30,000 us: the product fits 64 bits for every ratio.
  //
  static_assert (0xFFull * FRU_BUSY_DELAY_US * 100000000ull / 1000000ull == 765000000ull, "no overflow at ratio 0xFF");
  Ticks = Ratio * (FRU_BUSY_DELAY_US * 100000000ull) / 1000000ull;
  End   = Start + Ticks;

  while (AsmReadTsc () <= End) {
    CpuPause ();
  }

  return FRU_BUSY_DELAY_US;
}
