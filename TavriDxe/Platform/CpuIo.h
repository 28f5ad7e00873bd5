/** @file
  The processor and chipset operations the driver uses: byte-wide I/O port
  accesses, RDMSR, RDTSC and PAUSE.

  The firmware image links the x86-64 implementation; the host build links one
  that forwards to the emulated board.
**/

#ifndef CPU_IO_H_
#define CPU_IO_H_

#include <Uefi/UefiBaseType.h>

extern "C" {

/**
  Write one byte to an I/O port.
**/
VOID
IoWrite8 (
  IN UINT16  Port,
  IN UINT8   Value
  );

/**
  @return The byte read from an I/O port.
**/
UINT8
IoRead8 (
  IN UINT16  Port
  );

/**
  @return The 64-bit value of a model-specific register.
**/
UINT64
AsmReadMsr64 (
  IN UINT32  Index
  );

/**
  @return The 64-bit time-stamp counter.
**/
UINT64
AsmReadTsc (
  VOID
  );

/**
  Hint to the processor that this is a spin loop.
**/
VOID
CpuPause (
  VOID
  );

}

#endif
