/** @file
  x86-64 implementation of the processor and chipset operations, for the
  firmware image.
**/

#include "../CpuIo.h"

VOID
IoWrite8 (
  IN UINT16  Port,
  IN UINT8   Value
  )
{
  __asm__ __volatile__ ("outb %b0, %w1" : : "a" (Value), "Nd" (Port) : "memory");
}

UINT8
IoRead8 (
  IN UINT16  Port
  )
{
  UINT8  Value;

  __asm__ __volatile__ ("inb %w1, %b0" : "=a" (Value) : "Nd" (Port) : "memory");
  return Value;
}

UINT64
AsmReadMsr64 (
  IN UINT32  Index
  )
{
  UINT32  Low;
  UINT32  High;

  __asm__ __volatile__ ("rdmsr" : "=a" (Low), "=d" (High) : "c" (Index));
  return (static_cast<UINT64>(High) << 32) | Low;
}

UINT64
AsmReadTsc (
  VOID
  )
{
  UINT32  Low;
  UINT32  High;

  __asm__ __volatile__ ("rdtsc" : "=a" (Low), "=d" (High));
  return (static_cast<UINT64>(High) << 32) | Low;
}

VOID
CpuPause (
  VOID
  )
{
  __asm__ __volatile__ ("pause" : : : "memory");
}
