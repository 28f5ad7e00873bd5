/** @file
  The few routines the compiler may call on its own in a freestanding x86-64
  Windows-target image: memcpy and memset for large copies and clears, and
  __chkstk, the stack probe that frames of more than a page call before they
  move the stack pointer.

  There is no C runtime in the image; these are the whole of it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi/UefiBaseType.h>

extern "C" {

VOID *
memcpy (
  VOID        *Destination,
  CONST VOID  *Source,
  UINTN       Length
  )
{
  UINT8        *D = static_cast<UINT8 *>(Destination);
  CONST UINT8  *S = static_cast<CONST UINT8 *>(Source);

  //
  // "rep movsb" keeps the compiler from turning this loop back into a call
  // to memcpy.
  //
  __asm__ __volatile__ ("rep movsb" : "+D" (D), "+S" (S), "+c" (Length) : : "memory");
  return Destination;
}

VOID *
memset (
  VOID   *Buffer,
  INT32  Value,
  UINTN  Length
  )
{
  UINT8  *D = static_cast<UINT8 *>(Buffer);

  __asm__ __volatile__ ("rep stosb" : "+D" (D), "+c" (Length) : "a" (Value) : "memory");
  return Buffer;
}

}

//
// __chkstk: RAX holds the size of the frame about to be allocated. Touch every
// page from the caller's stack pointer down to the new bottom, one page at a
// time, so that a guard page below the stack is hit in order. It must keep
// every register but R10 and R11 and leave RSP as it found it; the caller
// subtracts RAX itself.
//
__asm__ (
  "  .text\n"
  "  .globl __chkstk\n"
  "  .def __chkstk; .scl 2; .type 32; .endef\n"
  "__chkstk:\n"
  "  movq  %rax, %r11\n"
  "  leaq  8(%rsp), %r10\n"               // the caller's RSP before the call
  "1:\n"
  "  cmpq  $0x1000, %r11\n"
  "  jb    2f\n"
  "  subq  $0x1000, %r10\n"
  "  testb %al, (%r10)\n"
  "  subq  $0x1000, %r11\n"
  "  jmp   1b\n"
  "2:\n"
  "  subq  %r11, %r10\n"
  "  testb %al, (%r10)\n"
  "  ret\n"
  );
