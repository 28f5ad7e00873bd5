/** @file
  The byte-wide I/O port accesses of MdePkg's IoLib, for images built without
  EDK2. The names and signatures are MdePkg's, so that the same sources call
  them in both builds.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IO_LIB_H_
#define IO_LIB_H_

#include <Uefi/UefiBaseType.h>

extern "C" {

/**
  Write one byte to an I/O port.

  @return The value written.
**/
UINT8
EFIAPI
IoWrite8 (
  IN UINTN  Port,
  IN UINT8  Value
  );

/**
  @return The byte read from an I/O port.
**/
UINT8
EFIAPI
IoRead8 (
  IN UINTN  Port
  );

}

#endif
