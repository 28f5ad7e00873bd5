/** @file
  Host implementation of the processor and chipset operations: each one is
  handed to the emulated board, which plays the processor, the chipset and
  their ports.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/BaseLib.h>
#include <Library/IoLib.h>

#include "EmuCpu.h"

UINT8
EFIAPI
IoWrite8 (
  IN UINTN  Port,
  IN UINT8  Value
  )
{
  EmuIoWrite8 (static_cast<UINT16>(Port), Value);
  return Value;
}

UINT8
EFIAPI
IoRead8 (
  IN UINTN  Port
  )
{
  return EmuIoRead8 (static_cast<UINT16>(Port));
}

UINT64
EFIAPI
AsmReadMsr64 (
  IN UINT32  Index
  )
{
  return EmuReadMsr64 (Index);
}

UINT64
EFIAPI
AsmReadTsc (
  VOID
  )
{
  return EmuReadTsc ();
}

VOID
EFIAPI
CpuPause (
  VOID
  )
{
  EmuCpuPause ();
}
