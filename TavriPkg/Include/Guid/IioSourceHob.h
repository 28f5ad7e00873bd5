/** @file
  The IIO source GUID HOB left by earlier boot phases, and the per-socket
  records the IIO import reads from its data.

  Offsets count from the first data byte, 24 bytes after the start of the HOB.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IIO_SOURCE_HOB_H_
#define IIO_SOURCE_HOB_H_

#include <Uefi/UefiBaseType.h>

#define IIO_SOURCE_HOB_GUID \
  { 0x353BB17B, 0x74AC, 0x4895, { 0xB4, 0x61, 0x2C, 0x8C, 0x97, 0x68, 0x30, 0xE6 } }

extern EFI_GUID  gIioSourceHobGuid;

//
// Per-socket records in the HOB data.
//
constexpr UINTN  IIO_HOB_SOCKET_GROUP_A_OFFSET = 6953;    ///< eight bytes per socket
constexpr UINTN  IIO_HOB_SOCKET_RECORD_OFFSET  = 6985;    ///< a 57-byte record per socket
constexpr UINTN  IIO_HOB_SOCKET_RECORD_SIZE    = 57;      ///< byte 0, then seven groups of eight
constexpr UINTN  IIO_HOB_SOCKET_GROUP_C_OFFSET = 7213;    ///< eight bytes per socket

#endif
