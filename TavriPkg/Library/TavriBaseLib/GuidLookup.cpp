/** @file
  GUID comparison and the two lookups by GUID: a GUID HOB in the HOB list and
  an entry of the configuration table.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/TavriBaseLib.h>

///
/// Every HOB starts on an 8-byte boundary, so every HobLength is a multiple of 8.
///
constexpr UINT16  HOB_ALIGNMENT = 8;

BOOLEAN
EFIAPI
TavriGuidEqual (
  IN CONST VOID      *Bytes,
  IN CONST EFI_GUID  *Guid
  )
{
  CONST UINT8  *Left  = static_cast<CONST UINT8 *>(Bytes);
  CONST UINT8  *Right = reinterpret_cast<CONST UINT8 *>(Guid);

  for (UINTN Index = 0; Index < sizeof (EFI_GUID); Index++) {
    if (Left[Index] != Right[Index]) {
      return FALSE;
    }
  }

  return TRUE;
}

EFI_STATUS
EFIAPI
TavriFindGuidHob (
  IN  CONST VOID      *HobList,
  IN  CONST EFI_GUID  *Name,
  OUT CONST VOID      **Data,
  OUT UINTN           *DataSize
  )
{
  CONST UINT8  *Hob = static_cast<CONST UINT8 *>(HobList);

  *Data     = NULL;
  *DataSize = 0;
  if (Hob == NULL) {
    return EFI_NOT_FOUND;
  }

  for (;;) {
    CONST EFI_HOB_GENERIC_HEADER  *Header = reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(Hob);

    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST) {
      return EFI_NOT_FOUND;
    }

    if ((Header->HobLength < sizeof (EFI_HOB_GENERIC_HEADER)) || ((Header->HobLength % HOB_ALIGNMENT) != 0)) {
      return EFI_VOLUME_CORRUPTED;
    }

    if ((Header->HobType == EFI_HOB_TYPE_GUID_EXTENSION) && (Header->HobLength >= sizeof (EFI_HOB_GUID_TYPE)) &&
        TavriGuidEqual (Hob + sizeof (EFI_HOB_GENERIC_HEADER), Name))
    {
      *Data     = Hob + sizeof (EFI_HOB_GUID_TYPE);
      *DataSize = Header->HobLength - sizeof (EFI_HOB_GUID_TYPE);
      return EFI_SUCCESS;
    }

    Hob += Header->HobLength;
  }
}

VOID *
EFIAPI
TavriFindConfigurationTable (
  IN CONST EFI_SYSTEM_TABLE  *SystemTable,
  IN CONST EFI_GUID          *Guid
  )
{
  CONST EFI_CONFIGURATION_TABLE  *Table = SystemTable->ConfigurationTable;

  for (UINTN Index = 0; Index < SystemTable->NumberOfTableEntries; Index++) {
    if (TavriGuidEqual (&Table[Index].VendorGuid, Guid)) {
      return Table[Index].VendorTable;
    }
  }

  return NULL;
}
