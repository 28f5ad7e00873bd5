/** @file
  Device paths as far as the deployment apps build and read them: the node
  header, the end node, and the two media nodes that name a file on a file
  system and a file in a firmware volume.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef DEVICE_PATH_PROTOCOL_H_
#define DEVICE_PATH_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>

#define EFI_DEVICE_PATH_PROTOCOL_GUID \
  { 0x09576E91, 0x6D3F, 0x11D2, { 0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B } }

extern EFI_GUID  gEfiDevicePathProtocolGuid;

///
/// Header of every device path node; Length counts the header and is
/// unaligned, so it is kept as two bytes.
///
struct _EFI_DEVICE_PATH_PROTOCOL {
  UINT8    Type;
  UINT8    SubType;
  UINT8    Length[2];
};

constexpr UINT8  MEDIA_DEVICE_PATH        = 0x04;
constexpr UINT8  MEDIA_FILEPATH_DP        = 0x04;   ///< CHAR16 path name, NUL-terminated
constexpr UINT8  MEDIA_PIWG_FW_FILE_DP    = 0x06;   ///< EFI_GUID of a firmware-volume file
constexpr UINT8  END_DEVICE_PATH_TYPE     = 0x7F;
constexpr UINT8  END_ENTIRE_DEVICE_PATH_SUBTYPE = 0xFF;

static_assert (sizeof (EFI_DEVICE_PATH_PROTOCOL) == 4, "device path node header");

#endif
