/** @file
  Driver images carried inside a test app and started from memory, so that
  the app needs no file system: EMBEDDED_DRIVER places an image's bytes
  between the symbols Name and NameEnd in the app's read-only data.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMBEDDED_DRIVER_H_
#define EMBEDDED_DRIVER_H_

#include <Uefi.h>

///
/// Assembler text for one image; put one or more inside
/// __asm__ ("  .section .rdata,\"dr\"\n" EMBEDDED_DRIVER (...) "  .text\n").
///
#define EMBEDDED_DRIVER(Name, Path) \
  "  .p2align 4\n"                  \
  "  .globl " #Name "\n"            \
  #Name ":\n"                       \
  "  .incbin \"" Path "\"\n"        \
  "  .globl " #Name "End\n"         \
  #Name "End:\n"

/**
  Load an image from memory and start it.

  @return The status of LoadImage when it failed, else that of StartImage.
**/
EFI_STATUS
LoadAndStartEmbedded (
  IN EFI_BOOT_SERVICES  *BootServices,
  IN EFI_HANDLE         Parent,
  IN CONST UINT8        *Image,
  IN CONST UINT8        *ImageEnd
  );

#endif
