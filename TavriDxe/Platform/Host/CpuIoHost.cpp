/** @file
  Host implementation of the processor and chipset operations: each one is
  handed to the emulated board, which plays the processor, the chipset and
  their ports.
**/

#include "../CpuIo.h"

#include <EmuCpu.h>

VOID
IoWrite8 (
  IN UINT16  Port,
  IN UINT8   Value
  )
{
  EmuIoWrite8 (Port, Value);
}

UINT8
IoRead8 (
  IN UINT16  Port
  )
{
  return EmuIoRead8 (Port);
}

UINT64
AsmReadMsr64 (
  IN UINT32  Index
  )
{
  return EmuReadMsr64 (Index);
}

UINT64
AsmReadTsc (
  VOID
  )
{
  return EmuReadTsc ();
}

VOID
CpuPause (
  VOID
  )
{
  EmuCpuPause ();
}
