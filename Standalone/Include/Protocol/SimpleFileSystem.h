/** @file
  The open modes of the simple file system protocol's files, which the shell's
  file functions take too. Inside EDK2, MdePkg's header takes its place.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SIMPLE_FILE_SYSTEM_H_
#define SIMPLE_FILE_SYSTEM_H_

#include <Uefi/UefiBaseType.h>

constexpr UINT64  EFI_FILE_MODE_READ   = 0x0000000000000001ULL;
constexpr UINT64  EFI_FILE_MODE_WRITE  = 0x0000000000000002ULL;
constexpr UINT64  EFI_FILE_MODE_CREATE = 0x8000000000000000ULL;

#endif
