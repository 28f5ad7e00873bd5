/** @file
  Everything a UEFI driver of this project needs from the UEFI specification.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef UEFI_H_
#define UEFI_H_

#include <Uefi/UefiBaseType.h>
#include <Uefi/UefiTables.h>

#endif
