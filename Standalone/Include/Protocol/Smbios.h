/** @file
  The SMBIOS protocol of the PI environment: adds, removes, walks SMBIOS
  structures and changes their strings, and keeps the tables the
  configuration table points to in step with them. Callers stay below
  TPL_NOTIFY.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SMBIOS_PROTOCOL_H_
#define SMBIOS_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>
#include <IndustryStandard/SmBios.h>

#define EFI_SMBIOS_PROTOCOL_GUID \
  { 0x03583FF6, 0xCB36, 0x4940, { 0x94, 0x7E, 0xB9, 0xB3, 0x9F, 0x4A, 0xFA, 0xF7 } }

extern EFI_GUID  gEfiSmbiosProtocolGuid;

#define EFI_SMBIOS_TYPE_SYSTEM_INFORMATION     SMBIOS_TYPE_SYSTEM_INFORMATION
#define EFI_SMBIOS_TYPE_BASEBOARD_INFORMATION  SMBIOS_TYPE_BASEBOARD_INFORMATION
#define EFI_SMBIOS_TYPE_SYSTEM_ENCLOSURE       SMBIOS_TYPE_SYSTEM_ENCLOSURE

typedef SMBIOS_TABLE_STRING  EFI_SMBIOS_STRING;
typedef SMBIOS_TYPE          EFI_SMBIOS_TYPE;
typedef SMBIOS_HANDLE        EFI_SMBIOS_HANDLE;
typedef SMBIOS_STRUCTURE     EFI_SMBIOS_TABLE_HEADER;

typedef struct _EFI_SMBIOS_PROTOCOL EFI_SMBIOS_PROTOCOL;

/**
  Add a structure: its formatted area, then its strings and the closing zero.
  The number of strings it has is fixed here. *SmbiosHandle is the handle to
  give it, or SMBIOS_HANDLE_PI_RESERVED for any free one; on return, the
  handle given.

  @retval EFI_SUCCESS          Added.
  @retval EFI_ALREADY_STARTED  The handle asked for is in use.
  @retval EFI_OUT_OF_RESOURCES No room, or no free handle.
**/
typedef EFI_STATUS (EFIAPI *EFI_SMBIOS_ADD)(
  IN CONST EFI_SMBIOS_PROTOCOL      *This,
  IN       EFI_HANDLE               ProducerHandle OPTIONAL,
  IN OUT   EFI_SMBIOS_HANDLE        *SmbiosHandle,
  IN       EFI_SMBIOS_TABLE_HEADER  *Record
  );

/**
  Replace string number *StringNumber (1-based) of the structure *SmbiosHandle.

  @retval EFI_SUCCESS            Replaced.
  @retval EFI_INVALID_PARAMETER  No such structure.
  @retval EFI_UNSUPPORTED        String is longer than the tables allow.
  @retval EFI_NOT_FOUND          The structure has no string of that number.
**/
typedef EFI_STATUS (EFIAPI *EFI_SMBIOS_UPDATE_STRING)(
  IN CONST EFI_SMBIOS_PROTOCOL  *This,
  IN       EFI_SMBIOS_HANDLE    *SmbiosHandle,
  IN       UINTN                *StringNumber,
  IN       CHAR8                *String
  );

/**
  Remove the structure SmbiosHandle.

  @retval EFI_SUCCESS            Removed.
  @retval EFI_INVALID_PARAMETER  No such structure.
**/
typedef EFI_STATUS (EFIAPI *EFI_SMBIOS_REMOVE)(
  IN CONST EFI_SMBIOS_PROTOCOL  *This,
  IN       EFI_SMBIOS_HANDLE    SmbiosHandle
  );

/**
  The structure after *SmbiosHandle (SMBIOS_HANDLE_PI_RESERVED: the first),
  of type *Type when Type is not NULL. *Record points into the protocol's own
  copy, valid until the next Add, UpdateString or Remove.

  @retval EFI_SUCCESS    *SmbiosHandle and *Record name the structure found.
  @retval EFI_NOT_FOUND  None is left; *SmbiosHandle is SMBIOS_HANDLE_PI_RESERVED.
**/
typedef EFI_STATUS (EFIAPI *EFI_SMBIOS_GET_NEXT)(
  IN CONST EFI_SMBIOS_PROTOCOL      *This,
  IN OUT   EFI_SMBIOS_HANDLE        *SmbiosHandle,
  IN       EFI_SMBIOS_TYPE          *Type OPTIONAL,
  OUT      EFI_SMBIOS_TABLE_HEADER  **Record,
  OUT      EFI_HANDLE               *ProducerHandle OPTIONAL
  );

struct _EFI_SMBIOS_PROTOCOL {
  EFI_SMBIOS_ADD              Add;
  EFI_SMBIOS_UPDATE_STRING    UpdateString;
  EFI_SMBIOS_REMOVE           Remove;
  EFI_SMBIOS_GET_NEXT         GetNext;
  UINT8                       MajorVersion;   ///< SMBIOS version the tables follow
  UINT8                       MinorVersion;
};

static_assert (OFFSET_OF (EFI_SMBIOS_PROTOCOL, GetNext) == 24, "SMBIOS protocol");
static_assert (OFFSET_OF (EFI_SMBIOS_PROTOCOL, MajorVersion) == 32, "SMBIOS protocol");
static_assert (sizeof (EFI_SMBIOS_PROTOCOL) == 40, "SMBIOS protocol");

#endif
