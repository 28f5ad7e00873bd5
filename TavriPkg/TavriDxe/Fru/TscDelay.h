/** @file
  The busy wait of the FRU transfers: a spin on the time-stamp counter.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef TSC_DELAY_H_
#define TSC_DELAY_H_

#include <Uefi/UefiBaseType.h>

constexpr UINT64  FRU_BUSY_DELAY_US     = 30000;
constexpr UINT32  MSR_PLATFORM_INFO     = 0xCE;

extern "C" {

UINT64
TscDelayMicroseconds (
  VOID
  );

}

#endif
