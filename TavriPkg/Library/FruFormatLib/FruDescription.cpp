/** @file
  Reading a FRU description line by line.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruDescription.h"
#include <Library/FruFieldNames.h>

CHAR8  gDescValue[FRU_MAKE_VALUE_MAX];
UINT8  gDescBytes[FRU_MAX_AREA_SIZE];

namespace {

CHAR8  mName[48];

BOOLEAN
IsSpace (
  IN CHAR8  Char
  )
{
  return (Char == ' ') || (Char == '\t') || (Char == '\r');
}

/**
  Copy a name of the description, NUL-terminated, into mName; FALSE if too long.
**/
BOOLEAN
CopyName (
  IN CONST CHAR8  *Text,
  IN UINTN        Length
  )
{
  if (Length + 1 > sizeof (mName)) {
    return FALSE;
  }

  for (UINTN Index = 0; Index < Length; Index++) {
    mName[Index] = Text[Index];
  }

  mName[Length] = 0;
  return TRUE;
}

/**
  After Prefix in mName, or NULL.
**/
CONST CHAR8 *
After (
  IN CONST CHAR8  *Prefix
  )
{
  UINTN  Index = 0;

  for ( ; Prefix[Index] != 0; Index++) {
    if (mName[Index] != Prefix[Index]) {
      return NULL;
    }
  }

  return &mName[Index];
}

VOID
Classify (
  IN OUT DESC_LINE  *Line
  )
{
  UINT64       Number;
  CONST CHAR8  *Rest;

  Line->Class = NameUnknown;
  if (!CopyName (Line->Name, Line->NameLength)) {
    return;
  }

  if (FruParseName (mName, &Line->Field)) {
    Line->Class = NameField;
  } else if (FruStrEq (mName, "internal.data")) {
    Line->Class = NameInternalData;
  } else if (FruStrEq (mName, "image.size")) {
    Line->Class = NameImageSize;
  } else if ((Rest = After ("multirecord.")) != NULL) {
    UINTN  Dot = 0;
    while ((Rest[Dot] != 0) && (Rest[Dot] != '.')) {
      Dot++;
    }

    CHAR8  *Kind = const_cast<CHAR8 *>(Rest + Dot);
    if (*Kind != '.') {
      return;
    }

    *Kind = 0;
    if ((Kind[1] != 0) && (Rest[0] >= '1') && (Rest[0] <= '9') && FruParseNumber (Rest, FRU_MAKE_MAX_RECORDS, &Number)) {
      Line->Record = static_cast<UINTN>(Number);
      Line->Class  = FruStrEq (Kind + 1, "type") ? NameRecordType : FruStrEq (Kind + 1, "data") ? NameRecordData : NameUnknown;
    }
  } else {
    for (UINTN Area = FruAreaChassis; Area <= FruAreaProduct; Area++) {
      Rest = After (FruAreaName (static_cast<FRU_AREA>(Area)));
      if ((Rest != NULL) && FruStrEq (Rest, ".size")) {
        Line->Class = NameAreaSize;
        Line->Area  = static_cast<FRU_AREA>(Area);
      }
    }
  }
}

}  // namespace

FRU_STATUS
DescFail (
  OUT FRU_MAKE_ERROR  *Error,
  IN  UINT32          Line,
  IN  CONST CHAR8     *Message,
  IN  CONST CHAR8     *Name,
  IN  UINTN           NameLength
  )
{
  Error->Line    = Line;
  Error->Message = Message;
  UINTN  Index = 0;
  for ( ; (Index < NameLength) && (Index + 1 < sizeof (Error->Name)); Index++) {
    Error->Name[Index] = Name[Index];
  }

  Error->Name[Index] = 0;
  return FruErrBadValue;
}

/**
  The next `name = value` line; FALSE at the end. A line without `=` comes
  back with NameUnknown and no value.
**/
BOOLEAN
DescNextLine (
  IN OUT DESC_CURSOR  *Cursor,
  OUT    DESC_LINE    *Line
  )
{
  while (Cursor->At < Cursor->Size) {
    UINTN  Start = Cursor->At;
    UINTN  End   = Start;
    while ((End < Cursor->Size) && (Cursor->Text[End] != '\n')) {
      End++;
    }

    Cursor->At = End + 1;
    Cursor->Number++;
    while ((Start < End) && IsSpace (Cursor->Text[Start])) {
      Start++;
    }

    while ((End > Start) && IsSpace (Cursor->Text[End - 1])) {
      End--;
    }

    if ((Start == End) || (Cursor->Text[Start] == '#')) {
      continue;
    }

    UINTN  Equal = Start;
    while ((Equal < End) && (Cursor->Text[Equal] != '=')) {
      Equal++;
    }

    BOOLEAN  HasEqual = Equal < End;
    UINTN    NameEnd    = Equal;
    UINTN  ValueStart = (Equal < End) ? Equal + 1 : End;
    while ((NameEnd > Start) && IsSpace (Cursor->Text[NameEnd - 1])) {
      NameEnd--;
    }

    while ((ValueStart < End) && IsSpace (Cursor->Text[ValueStart])) {
      ValueStart++;
    }

    if ((End - ValueStart >= 2) && (Cursor->Text[ValueStart] == '"') && (Cursor->Text[End - 1] == '"')) {
      ValueStart++;
      End--;
    }

    Line->Name        = Cursor->Text + Start;
    Line->NameLength  = NameEnd - Start;
    Line->Value       = Cursor->Text + ValueStart;
    Line->ValueLength = End - ValueStart;
    Line->Number      = Cursor->Number;
    Line->Class       = NameUnknown;
    if (HasEqual) {
      Classify (Line);
    }

    return TRUE;
  }

  return FALSE;
}

/**
  The value of Line into gDescValue with every ${NAME} replaced.
**/
FRU_STATUS
DescExpand (
  IN  CONST DESC_LINE  *Line,
  IN  FRU_LOOKUP       Lookup,
  IN  VOID             *Context,
  OUT FRU_MAKE_ERROR   *Error
  )
{
  UINTN  Out = 0;

  for (UINTN At = 0; At < Line->ValueLength; At++) {
    CONST CHAR8  *Insert = &Line->Value[At];
    UINTN        Length  = 1;
    if ((Line->Value[At] == '$') && (At + 1 < Line->ValueLength) && (Line->Value[At + 1] == '{')) {
      UINTN  Close = At + 2;
      while ((Close < Line->ValueLength) && (Line->Value[Close] != '}')) {
        Close++;
      }

      if (Close >= Line->ValueLength) {
        return DescFail (Error, Line->Number, "has ${ without }", Line->Name, Line->NameLength);
      }

      Insert = (Lookup != NULL) ? Lookup (Context, Line->Value + At + 2, Close - At - 2) : NULL;
      if (Insert == NULL) {
        return DescFail (Error, Line->Number, "is not set in the environment", Line->Value + At + 2, Close - At - 2);
      }

      Length = FruStrLen (Insert);
      At     = Close;
    }

    for (UINTN Index = 0; Index < Length; Index++) {
      if (Out + 1 >= sizeof (gDescValue)) {
        return DescFail (Error, Line->Number, "value is too long", Line->Name, Line->NameLength);
      }

      gDescValue[Out++] = Insert[Index];
    }
  }

  gDescValue[Out] = 0;
  return FruOk;
}

namespace {

INTN
HexDigit (
  IN CHAR8  Char
  )
{
  if ((Char >= '0') && (Char <= '9')) {
    return Char - '0';
  }

  if ((Char >= 'A') && (Char <= 'F')) {
    return Char - 'A' + 10;
  }

  return ((Char >= 'a') && (Char <= 'f')) ? Char - 'a' + 10 : -1;
}

}  // namespace

/**
  gDescValue as hex bytes (an optional 0x, then pairs of digits) into gDescBytes.
**/
BOOLEAN
DescValueAsHex (
  IN  UINTN  Capacity,
  OUT UINTN  *Count
  )
{
  CONST CHAR8  *Text = gDescValue;

  if ((Text[0] == '0') && ((Text[1] == 'x') || (Text[1] == 'X'))) {
    Text += 2;
  }

  *Count = 0;
  for ( ; Text[0] != 0; Text += 2) {
    INTN  High = HexDigit (Text[0]);
    INTN  Low  = (High < 0) ? -1 : HexDigit (Text[1]);
    if ((Low < 0) || (*Count >= Capacity)) {
      return FALSE;
    }

    gDescBytes[(*Count)++] = static_cast<UINT8>(High * 16 + Low);
  }

  return TRUE;
}
