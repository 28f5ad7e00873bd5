/** @file
  Field names of the chassis, board and product info areas.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruFieldNames.h>

namespace {

CONST CHAR8  *CONST  mAreaNames[FruAreaCount] = {
  "header", "internal", "chassis", "board", "product", "multirecord"
};

CONST CHAR8  *CONST  mChassisFields[] = { "part", "serial" };
CONST CHAR8  *CONST  mBoardFields[]   = { "manufacturer", "name", "serial", "part", "file_id" };
CONST CHAR8  *CONST  mProductFields[] = { "manufacturer", "name", "part", "version", "serial", "asset", "file_id" };

CONST CHAR8  *CONST  mCustomPrefix = "custom";

CONST CHAR8 *CONST *
FixedNames (
  IN FRU_AREA  Area
  )
{
  switch (Area) {
    case FruAreaChassis:
      return mChassisFields;
    case FruAreaBoard:
      return mBoardFields;
    case FruAreaProduct:
      return mProductFields;
    default:
      return NULL;
  }
}

/**
  If Text starts with Prefix, the rest of Text; NULL otherwise.
**/
CONST CHAR8 *
After (
  IN CONST CHAR8  *Text,
  IN CONST CHAR8  *Prefix
  )
{
  for ( ; *Prefix != 0; Prefix++, Text++) {
    if (*Text != *Prefix) {
      return NULL;
    }
  }

  return Text;
}

}  // namespace

CONST CHAR8 *
FruAreaName (
  IN FRU_AREA  Area
  )
{
  return (Area < FruAreaCount) ? mAreaNames[Area] : "?";
}

BOOLEAN
FruParseName (
  IN  CONST CHAR8  *Text,
  OUT FRU_NAME     *Name
  )
{
  for (UINTN Area = FruAreaChassis; Area <= FruAreaProduct; Area++) {
    CONST CHAR8  *Field = After (Text, mAreaNames[Area]);
    if ((Field == NULL) || (*Field != '.')) {
      continue;
    }

    Field++;
    Name->Kind = FruNameField;
    Name->Area = static_cast<FRU_AREA>(Area);
    if ((Area == FruAreaChassis) && FruStrEq (Field, "type")) {
      Name->Kind  = FruNameChassisType;
      Name->Index = 0;
      return TRUE;
    }

    if ((Area == FruAreaBoard) && FruStrEq (Field, "mfg_date")) {
      Name->Kind  = FruNameMfgDate;
      Name->Index = 0;
      return TRUE;
    }

    CONST CHAR8 *CONST  *Fixed = FixedNames (Name->Area);
    UINTN               Count  = FruFixedFieldCount (Name->Area);
    for (UINTN Index = 0; Index < Count; Index++) {
      if (FruStrEq (Field, Fixed[Index])) {
        Name->Index = static_cast<UINT16>(Index);
        return TRUE;
      }
    }

    CONST CHAR8  *Number = After (Field, mCustomPrefix);
    UINT64       Custom;
    if ((Number != NULL) && (Number[0] >= '1') && (Number[0] <= '9') &&
        FruParseNumber (Number, FRU_MAX_AREA_SIZE, &Custom))
    {
      Name->Index = static_cast<UINT16>(Count + Custom - 1);
      return TRUE;
    }

    return FALSE;
  }

  return FALSE;
}

VOID
FruLineAddFieldName (
  IN OUT FRU_LINE  *Line,
  IN     FRU_AREA  Area,
  IN     UINTN     Index
  )
{
  FruLineAdd (Line, FruAreaName (Area));
  FruLineAddChar (Line, '.');
  UINTN  Count = FruFixedFieldCount (Area);
  if (Index < Count) {
    FruLineAdd (Line, FixedNames (Area)[Index]);
  } else {
    FruLineAdd (Line, mCustomPrefix);
    FruLineAddDec (Line, Index - Count + 1);
  }
}
