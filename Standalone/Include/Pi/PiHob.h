/** @file
  Hand-off block (HOB) headers of the PI specification, as far as a DXE driver
  walks the HOB list.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef PI_HOB_H_
#define PI_HOB_H_

#include <Uefi/UefiBaseType.h>

constexpr UINT16  EFI_HOB_TYPE_HANDOFF           = 0x0001;
constexpr UINT16  EFI_HOB_TYPE_MEMORY_ALLOCATION = 0x0002;
constexpr UINT16  EFI_HOB_TYPE_RESOURCE_DESCRIPTOR = 0x0003;
constexpr UINT16  EFI_HOB_TYPE_GUID_EXTENSION    = 0x0004;
constexpr UINT16  EFI_HOB_TYPE_UNUSED            = 0xFFFE;
constexpr UINT16  EFI_HOB_TYPE_END_OF_HOB_LIST   = 0xFFFF;

///
/// Header at the start of every HOB. HobLength counts the header too.
///
typedef struct {
  UINT16    HobType;
  UINT16    HobLength;
  UINT32    Reserved;
} EFI_HOB_GENERIC_HEADER;

///
/// A GUID extension HOB: the header, the name, then HobLength - 24 data bytes.
///
typedef struct {
  EFI_HOB_GENERIC_HEADER    Header;
  EFI_GUID                  Name;
} EFI_HOB_GUID_TYPE;

static_assert (sizeof (EFI_HOB_GENERIC_HEADER) == 8, "HOB header");
static_assert (OFFSET_OF (EFI_HOB_GENERIC_HEADER, HobLength) == 2, "HOB header");
static_assert (OFFSET_OF (EFI_HOB_GUID_TYPE, Name) == 8, "GUID HOB");
static_assert (sizeof (EFI_HOB_GUID_TYPE) == 24, "GUID HOB data starts 24 bytes in");

#endif
