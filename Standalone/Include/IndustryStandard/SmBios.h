/** @file
  SMBIOS structures the TavriPkg images read and write: the two entry points,
  the structure header, and the system (type 1), baseboard (type 2) and
  system enclosure (type 3) structures, with MdePkg's names and layouts.

  Every structure is byte-packed, as it lies in the table: a formatted area of
  Hdr.Length bytes, then its strings, each ended by a zero byte, then one more
  zero byte. A string field holds the 1-based number of its string; 0 means
  the structure has no string for it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SMBIOS_STANDARD_H_
#define SMBIOS_STANDARD_H_

#include <Uefi/UefiBaseType.h>

///
/// Handles at or above this value are not given to structures.
///
#define SMBIOS_HANDLE_RESERVED_BEGIN  0xFF00
///
/// Passed to Add: let the protocol pick the handle. Passed to GetNext: start
/// from the first structure.
///
#define SMBIOS_HANDLE_PI_RESERVED  0xFFFE
///
/// Longest string UpdateString takes from a caller before SMBIOS 2.7.
///
#define SMBIOS_STRING_MAX_LENGTH  64

#define SMBIOS_TYPE_SYSTEM_INFORMATION     1
#define SMBIOS_TYPE_BASEBOARD_INFORMATION  2
#define SMBIOS_TYPE_SYSTEM_ENCLOSURE       3
#define SMBIOS_TYPE_END_OF_TABLE           0x007F

typedef UINT8   SMBIOS_TYPE;
typedef UINT16  SMBIOS_HANDLE;
typedef UINT8   SMBIOS_TABLE_STRING;

#pragma pack(1)

///
/// The 32-bit entry point ("_SM_"), found through SMBIOS_TABLE_GUID.
///
typedef struct {
  UINT8     AnchorString[4];
  UINT8     EntryPointStructureChecksum;
  UINT8     EntryPointLength;
  UINT8     MajorVersion;
  UINT8     MinorVersion;
  UINT16    MaxStructureSize;
  UINT8     EntryPointRevision;
  UINT8     FormattedArea[5];
  UINT8     IntermediateAnchorString[5];
  UINT8     IntermediateChecksum;
  UINT16    TableLength;
  UINT32    TableAddress;
  UINT16    NumberOfSmbiosStructures;
  UINT8     SmbiosBcdRevision;
} SMBIOS_TABLE_ENTRY_POINT;

///
/// The 64-bit entry point ("_SM3_"), found through SMBIOS3_TABLE_GUID.
///
typedef struct {
  UINT8     AnchorString[5];
  UINT8     EntryPointStructureChecksum;
  UINT8     EntryPointLength;
  UINT8     MajorVersion;
  UINT8     MinorVersion;
  UINT8     DocRev;
  UINT8     EntryPointRevision;
  UINT8     Reserved;
  UINT32    TableMaximumSize;
  UINT64    TableAddress;
} SMBIOS_TABLE_3_0_ENTRY_POINT;

///
/// The first four bytes of every structure.
///
typedef struct {
  SMBIOS_TYPE      Type;
  UINT8            Length;    ///< bytes of the formatted area, header included
  SMBIOS_HANDLE    Handle;
} SMBIOS_STRUCTURE;

///
/// System information.
///
typedef struct {
  SMBIOS_STRUCTURE       Hdr;
  SMBIOS_TABLE_STRING    Manufacturer;
  SMBIOS_TABLE_STRING    ProductName;
  SMBIOS_TABLE_STRING    Version;
  SMBIOS_TABLE_STRING    SerialNumber;
  EFI_GUID               Uuid;
  UINT8                  WakeUpType;
  SMBIOS_TABLE_STRING    SKUNumber;
  SMBIOS_TABLE_STRING    Family;
} SMBIOS_TABLE_TYPE1;

///
/// Baseboard feature flags (one byte).
///
typedef struct {
  UINT8    Motherboard          : 1;   ///< a hosting board
  UINT8    RequiresDaughterCard : 1;
  UINT8    Removable            : 1;
  UINT8    Replaceable          : 1;
  UINT8    HotSwappable         : 1;
  UINT8    Reserved             : 3;
} BASE_BOARD_FEATURE_FLAGS;

typedef enum {
  BaseBoardTypeUnknown     = 0x1,
  BaseBoardTypeOther       = 0x2,
  BaseBoardTypeMotherBoard = 0xA
} BASE_BOARD_TYPE;

///
/// Baseboard information. ContainedObjectHandles has
/// NumberOfContainedObjectHandles entries; a structure without any ends
/// after NumberOfContainedObjectHandles.
///
typedef struct {
  SMBIOS_STRUCTURE            Hdr;
  SMBIOS_TABLE_STRING         Manufacturer;
  SMBIOS_TABLE_STRING         ProductName;
  SMBIOS_TABLE_STRING         Version;
  SMBIOS_TABLE_STRING         SerialNumber;
  SMBIOS_TABLE_STRING         AssetTag;
  BASE_BOARD_FEATURE_FLAGS    FeatureFlag;
  SMBIOS_TABLE_STRING         LocationInChassis;
  UINT16                      ChassisHandle;
  UINT8                       BoardType;
  UINT8                       NumberOfContainedObjectHandles;
  UINT16                      ContainedObjectHandles[1];
} SMBIOS_TABLE_TYPE2;

typedef struct {
  UINT8    ContainedElementType;
  UINT8    ContainedElementMinimum;
  UINT8    ContainedElementMaximum;
} CONTAINED_ELEMENT;

///
/// System enclosure. Type bit 7 tells whether the chassis has a lock, bits
/// 6:0 the kind of enclosure. ContainedElementCount records of
/// ContainedElementRecordLength bytes follow; the SKU number string field
/// (SMBIOS 2.7) comes after them.
///
typedef struct {
  SMBIOS_STRUCTURE       Hdr;
  SMBIOS_TABLE_STRING    Manufacturer;
  UINT8                  Type;
  SMBIOS_TABLE_STRING    Version;
  SMBIOS_TABLE_STRING    SerialNumber;
  SMBIOS_TABLE_STRING    AssetTag;
  UINT8                  BootupState;
  UINT8                  PowerSupplyState;
  UINT8                  ThermalState;
  UINT8                  SecurityStatus;
  UINT8                  OemDefined[4];
  UINT8                  Height;
  UINT8                  NumberofPowerCords;
  UINT8                  ContainedElementCount;
  UINT8                  ContainedElementRecordLength;
  CONTAINED_ELEMENT      ContainedElements[1];
} SMBIOS_TABLE_TYPE3;

#pragma pack()

static_assert (sizeof (SMBIOS_TABLE_ENTRY_POINT) == 0x1F, "32-bit entry point");
static_assert (sizeof (SMBIOS_TABLE_3_0_ENTRY_POINT) == 0x18, "64-bit entry point");
static_assert (OFFSET_OF (SMBIOS_TABLE_3_0_ENTRY_POINT, TableAddress) == 0x10, "64-bit entry point");
static_assert (OFFSET_OF (SMBIOS_TABLE_ENTRY_POINT, TableAddress) == 0x18, "32-bit entry point");
static_assert (sizeof (SMBIOS_STRUCTURE) == 4, "structure header");
static_assert (sizeof (SMBIOS_TABLE_TYPE1) == 0x1B, "type 1");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE1, Uuid) == 0x08, "type 1");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE1, SKUNumber) == 0x19, "type 1");
static_assert (sizeof (BASE_BOARD_FEATURE_FLAGS) == 1, "type 2 feature flags");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE2, AssetTag) == 0x08, "type 2");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE2, LocationInChassis) == 0x0A, "type 2");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE2, ChassisHandle) == 0x0B, "type 2");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE2, ContainedObjectHandles) == 0x0F, "type 2");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE3, Type) == 0x05, "type 3");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE3, AssetTag) == 0x08, "type 3");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE3, ContainedElementRecordLength) == 0x14, "type 3");
static_assert (OFFSET_OF (SMBIOS_TABLE_TYPE3, ContainedElements) == 0x15, "type 3");

#endif
