/** @file
  Reporting SMBIOS types 1, 2 and 3 from the firmware's structure table.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "SmbiosReport.h"

#include <Guid/SmBios.h>
#include <IndustryStandard/SmBios.h>
#include <Library/TavriBaseLib.h>

#include "ReportPort.h"

namespace {

///
/// The structure table: where it is and how many bytes it may take.
///
typedef struct {
  CONST UINT8    *Start;
  UINTN          Size;
} SMBIOS_TABLE_VIEW;

/**
  Find the structure table through the 64-bit entry point, else the 32-bit one.
**/
BOOLEAN
FindTable (
  IN  EFI_SYSTEM_TABLE   *SystemTable,
  OUT SMBIOS_TABLE_VIEW  *View
  )
{
  auto  *Entry3 = static_cast<CONST SMBIOS_TABLE_3_0_ENTRY_POINT *>(TavriFindConfigurationTable (SystemTable, &gEfiSmbios3TableGuid));
  if (Entry3 != NULL) {
    View->Start = reinterpret_cast<CONST UINT8 *>(static_cast<UINTN>(Entry3->TableAddress));
    View->Size  = Entry3->TableMaximumSize;
    Put ("TAVRI smbios-entry _SM3_ version=");
    PutDec (Entry3->MajorVersion);
    Put (".");
    PutDec (Entry3->MinorVersion);
    Put ("\n");
    return TRUE;
  }

  auto  *Entry = static_cast<CONST SMBIOS_TABLE_ENTRY_POINT *>(TavriFindConfigurationTable (SystemTable, &gEfiSmbiosTableGuid));
  if (Entry != NULL) {
    View->Start = reinterpret_cast<CONST UINT8 *>(static_cast<UINTN>(Entry->TableAddress));
    View->Size  = Entry->TableLength;
    Put ("TAVRI smbios-entry _SM_ version=");
    PutDec (Entry->MajorVersion);
    Put (".");
    PutDec (Entry->MinorVersion);
    Put ("\n");
    return TRUE;
  }

  Put ("TAVRI smbios-entry none\n");
  return FALSE;
}

/**
  Bytes a structure takes in the table, strings included; 0 when it runs past
  the table.
**/
UINTN
StructureSize (
  IN CONST SMBIOS_TABLE_VIEW  *View,
  IN UINTN                    At
  )
{
  if (At + sizeof (SMBIOS_STRUCTURE) > View->Size) {
    return 0;
  }

  UINTN  End = At + View->Start[At + 1];
  while (End + 1 < View->Size) {
    if ((View->Start[End] == 0) && (View->Start[End + 1] == 0)) {
      return End + 2 - At;
    }

    End++;
  }

  return 0;
}

/**
  Print string field Offset of the structure at At as name="text".
**/
VOID
PutString (
  IN CONST SMBIOS_TABLE_VIEW  *View,
  IN UINTN                    At,
  IN CONST CHAR8              *Name,
  IN UINT8                    Offset
  )
{
  CONST UINT8  *Structure = View->Start + At;
  UINTN        Number     = (Offset < Structure[1]) ? Structure[Offset] : 0;
  CONST UINT8  *Text      = Structure + Structure[1];

  Put (" ");
  Put (Name);
  Put ("=\"");
  if (Number != 0) {
    for (UINTN Index = 1; (Index < Number) && (*Text != 0); Index++) {
      while (*Text != 0) {
        Text++;
      }

      Text++;
    }

    for ( ; *Text != 0; Text++) {
      if ((*Text < 0x20) || (*Text > 0x7E) || (*Text == '"') || (*Text == '\\')) {
        Put ("\\x");
        PutHex (*Text, 2);
      } else {
        CHAR8  One[2] = { static_cast<CHAR8>(*Text), '\0' };
        Put (One);
      }
    }
  }

  Put ("\"");
}

}  // namespace

/**
  Report the first structure of each of types 1, 2 and 3.
**/
VOID
ReportSmbiosTypes (
  IN EFI_SYSTEM_TABLE  *SystemTable,
  IN CONST CHAR8       *Phase
  )
{
  SMBIOS_TABLE_VIEW  View;

  if (!FindTable (SystemTable, &View)) {
    return;
  }

  for (UINT8 Type = 1; Type <= 3; Type++) {
    UINTN  At = 0;
    UINTN  Size;
    while (((Size = StructureSize (&View, At)) != 0) && (View.Start[At] != Type) &&
           (View.Start[At] != SMBIOS_TYPE_END_OF_TABLE))
    {
      At += Size;
    }

    Put ("TAVRI smbios ");
    Put (Phase);
    Put (" type=");
    PutDec (Type);
    if ((Size == 0) || (View.Start[At] != Type)) {
      Put (" none\n");
      continue;
    }

    Put (" handle=0x");
    PutHex (reinterpret_cast<CONST SMBIOS_STRUCTURE *>(View.Start + At)->Handle, 4);
    if (Type == 1) {
      PutString (&View, At, "manufacturer", OFFSET_OF (SMBIOS_TABLE_TYPE1, Manufacturer));
      PutString (&View, At, "product", OFFSET_OF (SMBIOS_TABLE_TYPE1, ProductName));
      PutString (&View, At, "version", OFFSET_OF (SMBIOS_TABLE_TYPE1, Version));
      PutString (&View, At, "serial", OFFSET_OF (SMBIOS_TABLE_TYPE1, SerialNumber));
      PutString (&View, At, "sku", OFFSET_OF (SMBIOS_TABLE_TYPE1, SKUNumber));
    } else if (Type == 2) {
      PutString (&View, At, "manufacturer", OFFSET_OF (SMBIOS_TABLE_TYPE2, Manufacturer));
      PutString (&View, At, "product", OFFSET_OF (SMBIOS_TABLE_TYPE2, ProductName));
      PutString (&View, At, "version", OFFSET_OF (SMBIOS_TABLE_TYPE2, Version));
      PutString (&View, At, "serial", OFFSET_OF (SMBIOS_TABLE_TYPE2, SerialNumber));
      PutString (&View, At, "asset", OFFSET_OF (SMBIOS_TABLE_TYPE2, AssetTag));
    } else {
      Put (" chassis-type=0x");
      PutHex (View.Start[At + OFFSET_OF (SMBIOS_TABLE_TYPE3, Type)], 2);
      PutString (&View, At, "manufacturer", OFFSET_OF (SMBIOS_TABLE_TYPE3, Manufacturer));
      PutString (&View, At, "version", OFFSET_OF (SMBIOS_TABLE_TYPE3, Version));
      PutString (&View, At, "serial", OFFSET_OF (SMBIOS_TABLE_TYPE3, SerialNumber));
      PutString (&View, At, "asset", OFFSET_OF (SMBIOS_TABLE_TYPE3, AssetTag));
    }

    Put ("\n");
  }
}

