/** @file
  Which FRU field goes to which SMBIOS string, as one table: the reader
  decodes the fields it names, the updater writes them where it says.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_SMBIOS_MAP_H_
#define FRU_SMBIOS_MAP_H_

#include <Uefi.h>
#include <IndustryStandard/SmBios.h>
#include <Library/FruFormat.h>

///
/// Field indices in the info areas: the fixed fields in the order the FRU
/// format lays them out.
///
constexpr UINT8  FRU_CHASSIS_SERIAL       = 1;
constexpr UINT8  FRU_BOARD_MANUFACTURER   = 0;
constexpr UINT8  FRU_BOARD_PRODUCT        = 1;
constexpr UINT8  FRU_BOARD_SERIAL         = 2;
constexpr UINT8  FRU_BOARD_PART           = 3;
constexpr UINT8  FRU_PRODUCT_MANUFACTURER = 0;
constexpr UINT8  FRU_PRODUCT_NAME         = 1;
constexpr UINT8  FRU_PRODUCT_PART         = 2;
constexpr UINT8  FRU_PRODUCT_VERSION      = 3;
constexpr UINT8  FRU_PRODUCT_SERIAL       = 4;
constexpr UINT8  FRU_PRODUCT_ASSET_TAG    = 5;

typedef struct {
  FRU_AREA    Area;
  UINT8       FieldIndex;
  UINT8       SmbiosType;
  UINT8       SmbiosOffset;     ///< the string field in the formatted area
} FRU_SMBIOS_MAP_ENTRY;

///
/// FRU field -> SMBIOS string field. The README's table says the same.
///
constexpr FRU_SMBIOS_MAP_ENTRY  mFruSmbiosMap[] = {
  { FruAreaProduct, FRU_PRODUCT_MANUFACTURER, SMBIOS_TYPE_SYSTEM_INFORMATION,    OFFSET_OF (SMBIOS_TABLE_TYPE1, Manufacturer) },
  { FruAreaProduct, FRU_PRODUCT_NAME,         SMBIOS_TYPE_SYSTEM_INFORMATION,    OFFSET_OF (SMBIOS_TABLE_TYPE1, ProductName)  },
  { FruAreaProduct, FRU_PRODUCT_VERSION,      SMBIOS_TYPE_SYSTEM_INFORMATION,    OFFSET_OF (SMBIOS_TABLE_TYPE1, Version)      },
  { FruAreaProduct, FRU_PRODUCT_SERIAL,       SMBIOS_TYPE_SYSTEM_INFORMATION,    OFFSET_OF (SMBIOS_TABLE_TYPE1, SerialNumber) },
  { FruAreaProduct, FRU_PRODUCT_PART,         SMBIOS_TYPE_SYSTEM_INFORMATION,    OFFSET_OF (SMBIOS_TABLE_TYPE1, SKUNumber)    },
  { FruAreaBoard,   FRU_BOARD_MANUFACTURER,   SMBIOS_TYPE_BASEBOARD_INFORMATION, OFFSET_OF (SMBIOS_TABLE_TYPE2, Manufacturer) },
  { FruAreaBoard,   FRU_BOARD_PRODUCT,        SMBIOS_TYPE_BASEBOARD_INFORMATION, OFFSET_OF (SMBIOS_TABLE_TYPE2, ProductName)  },
  { FruAreaBoard,   FRU_BOARD_PART,           SMBIOS_TYPE_BASEBOARD_INFORMATION, OFFSET_OF (SMBIOS_TABLE_TYPE2, Version)      },
  { FruAreaBoard,   FRU_BOARD_SERIAL,         SMBIOS_TYPE_BASEBOARD_INFORMATION, OFFSET_OF (SMBIOS_TABLE_TYPE2, SerialNumber) },
  { FruAreaChassis, FRU_CHASSIS_SERIAL,       SMBIOS_TYPE_SYSTEM_ENCLOSURE,      OFFSET_OF (SMBIOS_TABLE_TYPE3, SerialNumber) },
  { FruAreaProduct, FRU_PRODUCT_ASSET_TAG,    SMBIOS_TYPE_SYSTEM_ENCLOSURE,      OFFSET_OF (SMBIOS_TABLE_TYPE3, AssetTag)     },
};

constexpr UINTN  FRU_SMBIOS_MAP_COUNT = sizeof (mFruSmbiosMap) / sizeof (mFruSmbiosMap[0]);

///
/// Chassis types the chassis area's type byte may carry into SMBIOS type 3:
/// the SMBIOS enclosure types from Other (1) to Stick PC (0x24), but Unknown
/// (2), which would only hide what the platform says.
///
constexpr UINT8  FRU_CHASSIS_TYPE_UNKNOWN = 0x02;
constexpr UINT8  FRU_CHASSIS_TYPE_LAST    = 0x24;

#endif
