/** @file
  The processor operations of MdePkg's BaseLib that the images use (RDMSR,
  RDTSC, PAUSE), for images built without EDK2. The names and signatures are
  MdePkg's, so that the same sources call them in both builds.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef BASE_LIB_H_
#define BASE_LIB_H_

#include <Uefi/UefiBaseType.h>

extern "C" {

/**
  @return The 64-bit value of a model-specific register.
**/
UINT64
EFIAPI
AsmReadMsr64 (
  IN UINT32  Index
  );

/**
  @return The 64-bit time-stamp counter.
**/
UINT64
EFIAPI
AsmReadTsc (
  VOID
  );

/**
  Hint to the processor that this is a spin loop.
**/
VOID
EFIAPI
CpuPause (
  VOID
  );

}

#endif
