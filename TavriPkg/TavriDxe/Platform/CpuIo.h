/** @file
  The processor and chipset operations the driver uses: byte-wide I/O port
  accesses, RDMSR, RDTSC and PAUSE.

  They are MdePkg's IoLib and BaseLib functions. Inside EDK2 these headers and
  their implementations are MdePkg's; the standalone image links its own x86-64
  implementation, and the host build one that forwards to the emulated board.
  MdePkg's headers declare C functions without a linkage block of their own.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef CPU_IO_H_
#define CPU_IO_H_

extern "C" {
#include <Library/BaseLib.h>
#include <Library/IoLib.h>
}

#endif
