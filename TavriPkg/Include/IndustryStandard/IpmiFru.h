/** @file
  IPMI Read FRU Data and Write FRU Data (Storage network function), as the
  IPMI specification gives them. Multi-byte fields are little-endian.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IPMI_FRU_H_
#define IPMI_FRU_H_

#include <Uefi/UefiBaseType.h>

constexpr UINT8  IPMI_NETFN_STORAGE            = 0x0A;
constexpr UINT8  IPMI_BMC_LUN                  = 0x00;
constexpr UINT8  IPMI_STORAGE_READ_FRU_DATA    = 0x11;
constexpr UINT8  IPMI_STORAGE_WRITE_FRU_DATA   = 0x12;
constexpr UINT8  IPMI_STORAGE_GET_FRU_INVENTORY_AREA_INFO = 0x10;

constexpr UINT8  IPMI_COMP_CODE_NORMAL          = 0x00;
constexpr UINT8  IPMI_COMP_CODE_WRITE_PROTECTED = 0x80;   ///< Write FRU Data: write-protected offset
constexpr UINT8  IPMI_COMP_CODE_FRU_BUSY        = 0x81;   ///< FRU device busy
constexpr UINT8  IPMI_COMP_CODE_INVALID_COMMAND = 0xC1;
constexpr UINT8  IPMI_COMP_CODE_OUT_OF_RANGE    = 0xC9;
constexpr UINT8  IPMI_COMP_CODE_UNSPECIFIED     = 0xFF;

///
/// Read FRU Data request: device, offset, count to read.
///
typedef struct {
  UINT8    FruDeviceId;
  UINT8    OffsetLow;
  UINT8    OffsetHigh;
  UINT8    CountToRead;
} IPMI_READ_FRU_DATA_REQUEST;

///
/// Read FRU Data response header: completion code, count returned, then data.
///
constexpr UINTN  IPMI_READ_FRU_DATA_RESPONSE_HEADER = 2;

///
/// Write FRU Data request header: device, offset; the data follows.
///
constexpr UINTN  IPMI_WRITE_FRU_DATA_REQUEST_HEADER = 3;

///
/// Write FRU Data response: completion code, count written.
///
constexpr UINTN  IPMI_WRITE_FRU_DATA_RESPONSE_SIZE = 2;

///
/// Get FRU Inventory Area Info: request the device ID; response completion
/// code, area size (16 bits) and access unit.
///
constexpr UINTN  IPMI_GET_FRU_INVENTORY_AREA_INFO_REQUEST_SIZE  = 1;
constexpr UINTN  IPMI_GET_FRU_INVENTORY_AREA_INFO_RESPONSE_SIZE = 4;

static_assert (sizeof (IPMI_READ_FRU_DATA_REQUEST) == 4, "Read FRU Data request is 4 bytes");

#endif
