/** @file
  Leaves the boot marker 0x55 in byte 0x81 of the extended CMOS bank, behind
  index port 0x72 and data port 0x73.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "TavriDxe.h"
#include "Platform/CpuIo.h"

constexpr UINT16  EXTENDED_CMOS_INDEX_PORT = 0x72;
constexpr UINT16  EXTENDED_CMOS_DATA_PORT  = 0x73;
constexpr UINT8   CMOS_BOOT_MARKER_INDEX   = 0x81;
constexpr UINT8   CMOS_BOOT_MARKER_VALUE   = 0x55;

/**
  Select the marker byte, read it, write the marker, and read it back.

  @return The byte read back after the write.
**/
UINTN
EFIAPI
WriteCmosBootMarker (
  VOID
  )
{
  IoWrite8 (EXTENDED_CMOS_INDEX_PORT, CMOS_BOOT_MARKER_INDEX);
  (VOID)IoRead8 (EXTENDED_CMOS_DATA_PORT);
  IoWrite8 (EXTENDED_CMOS_INDEX_PORT, CMOS_BOOT_MARKER_INDEX);
  IoWrite8 (EXTENDED_CMOS_DATA_PORT, CMOS_BOOT_MARKER_VALUE);
  IoWrite8 (EXTENDED_CMOS_INDEX_PORT, CMOS_BOOT_MARKER_INDEX);
  return IoRead8 (EXTENDED_CMOS_DATA_PORT);
}
