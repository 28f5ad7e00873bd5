/** @file
  x86-64 implementation of the IoLib and BaseLib functions the images use, for
  the images built without EDK2.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/BaseLib.h>
#include <Library/IoLib.h>

UINT8
EFIAPI
IoWrite8 (
  IN UINTN  Port,
  IN UINT8  Value
  )
{
  __asm__ __volatile__ ("outb %b0, %w1" : : "a" (Value), "Nd" (static_cast<UINT16>(Port)) : "memory");
  return Value;
}

UINT8
EFIAPI
IoRead8 (
  IN UINTN  Port
  )
{
  UINT8  Value;

  __asm__ __volatile__ ("inb %w1, %b0" : "=a" (Value) : "Nd" (static_cast<UINT16>(Port)) : "memory");
  return Value;
}

UINT64
EFIAPI
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
EFIAPI
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
EFIAPI
CpuPause (
  VOID
  )
{
  __asm__ __volatile__ ("pause" : : : "memory");
}
