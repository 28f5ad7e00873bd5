/** @file
  Making a FRU image from a description: a skeleton with every named area
  and its fixed fields empty, the internal use and multi-record areas whole,
  then each field set in order through FruSetValue, which grows the areas and
  moves the ones after them as the values need.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruDescription.h"
#include <Library/FruEdit.h>
#include <Library/FruPrint.h>

namespace {

constexpr UINT8  LANGUAGE_ENGLISH = 25;
constexpr UINT8  CHASSIS_UNKNOWN  = 2;
constexpr UINT8  EMPTY_FIELD      = static_cast<UINT8>(FRU_TYPE_8BIT << 6);

///
/// What the first pass over the description found.
///
typedef struct {
  BOOLEAN    Present[FruAreaCount];
  UINTN      AreaSize[FruAreaCount];
  UINTN      Customs[FruAreaCount];    ///< highest custom field named
  UINTN      Records;                  ///< highest record named
  UINTN      ImageSize;                ///< 0 when not given
} DESC_PLAN;

/**
  The last line of the description that Match accepts, or FALSE.
**/
template <typename MATCH>
BOOLEAN
FindLast (
  IN  CONST CHAR8  *Text,
  IN  UINTN        TextSize,
  IN  MATCH        Match,
  OUT DESC_LINE    *Found
  )
{
  DESC_CURSOR  Cursor = { Text, TextSize, 0, 0 };
  DESC_LINE    Line;
  BOOLEAN      Any = FALSE;

  while (DescNextLine (&Cursor, &Line)) {
    if (Match (Line)) {
      *Found = Line;
      Any    = TRUE;
    }
  }

  return Any;
}

FRU_STATUS
MakePlan (
  IN  CONST CHAR8     *Text,
  IN  UINTN           TextSize,
  IN  UINTN           Capacity,
  OUT DESC_PLAN       *Out,
  OUT FRU_MAKE_ERROR  *Error
  )
{
  DESC_CURSOR  Cursor = { Text, TextSize, 0, 0 };
  DESC_LINE    Line;
  UINT64       Number;

  while (DescNextLine (&Cursor, &Line)) {
    switch (Line.Class) {
      case NameField:
        Out->Present[Line.Field.Area] = TRUE;
        if ((Line.Field.Kind == FruNameField) && (Line.Field.Index >= FruFixedFieldCount (Line.Field.Area))) {
          UINTN  Custom = Line.Field.Index - FruFixedFieldCount (Line.Field.Area) + 1;
          Out->Customs[Line.Field.Area] = (Custom > Out->Customs[Line.Field.Area]) ? Custom : Out->Customs[Line.Field.Area];
        }

        break;
      case NameAreaSize:
        Out->Present[Line.Area] = TRUE;
        for (UINTN Index = 0; Index < Line.ValueLength && Index + 1 < FRU_MAKE_VALUE_MAX; Index++) {
          gDescValue[Index] = Line.Value[Index];
          gDescValue[Index + 1] = 0;
        }

        if ((Line.ValueLength == 0) || !FruParseNumber (gDescValue, FRU_MAX_AREA_SIZE, &Number) || (Number % 8 != 0)) {
          return DescFail (Error, Line.Number, "takes a multiple of 8 up to 2040", Line.Name, Line.NameLength);
        }

        Out->AreaSize[Line.Area] = static_cast<UINTN>(Number);
        break;
      case NameInternalData:
        Out->Present[FruAreaInternal] = TRUE;
        break;
      case NameRecordType:
      case NameRecordData:
        Out->Present[FruAreaMultiRecord] = TRUE;
        Out->Records = (Line.Record > Out->Records) ? Line.Record : Out->Records;
        break;
      case NameImageSize:
        for (UINTN Index = 0; Index < Line.ValueLength && Index + 1 < FRU_MAKE_VALUE_MAX; Index++) {
          gDescValue[Index] = Line.Value[Index];
          gDescValue[Index + 1] = 0;
        }

        if ((Line.ValueLength == 0) || !FruParseNumber (gDescValue, Capacity, &Number) || (Number < FRU_HEADER_SIZE)) {
          return DescFail (Error, Line.Number, "is larger than the image can be", Line.Name, Line.NameLength);
        }

        Out->ImageSize = static_cast<UINTN>(Number);
        break;
      default:
        return DescFail (Error, Line.Number, "is not a name print uses, an area size or a record", Line.Name, Line.NameLength);
    }
  }

  return FruOk;
}

/**
  Lay out the empty info area Area at At: its prefix, every fixed field
  empty, the end marker, padding up to its length, the checksum.
**/
UINTN
EmptyInfoArea (
  OUT UINT8     *Image,
  IN  UINTN     At,
  IN  FRU_AREA  Area,
  IN  UINTN     Wanted
  )
{
  UINTN  Length = FruFirstFieldOffset (Area) + FruFixedFieldCount (Area) + 2;

  Length = (Length + 7) & ~static_cast<UINTN>(7);
  Length = (Wanted > Length) ? Wanted : Length;
  Image[At]     = FRU_FORMAT_VERSION;
  Image[At + 1] = static_cast<UINT8>(Length / 8);
  Image[At + 2] = (Area == FruAreaChassis) ? CHASSIS_UNKNOWN : LANGUAGE_ENGLISH;
  UINTN  Field = At + FruFirstFieldOffset (Area);
  for (UINTN Index = 0; Index < FruFixedFieldCount (Area); Index++) {
    Image[Field++] = EMPTY_FIELD;
  }

  Image[Field]              = FRU_END_OF_FIELDS;
  Image[At + Length - 1]    = FruChecksum (Image + At, Length - 1);
  return Length;
}

/**
  The internal use area and the records, each from its hex; the info areas
  empty. *InternalEnd is where the internal use area ends (0 without one).
**/
FRU_STATUS
Skeleton (
  IN  CONST CHAR8      *Text,
  IN  UINTN            TextSize,
  IN  CONST DESC_PLAN  *Plan,
  IN  FRU_LOOKUP       Lookup,
  IN  VOID             *Context,
  OUT UINT8            *Image,
  IN  UINTN            Capacity,
  OUT UINTN            *InternalEnd,
  OUT FRU_MAKE_ERROR   *Error
  )
{
  DESC_LINE   Line;
  UINTN       At = FRU_HEADER_SIZE;
  UINTN       Count;
  FRU_STATUS  Status;

  Image[0]     = FRU_FORMAT_VERSION;
  *InternalEnd = 0;
  for (UINTN Slot = FruAreaInternal; Slot < FruAreaCount; Slot++) {
    FRU_AREA  Area = static_cast<FRU_AREA>(Slot);
    if (!Plan->Present[Area]) {
      continue;
    }

    if (At + FRU_MAX_AREA_SIZE + FRU_RECORD_HEADER > Capacity) {
      return DescFail (Error, 0, "the image would be larger than the device can hold", "", 0);
    }

    Image[Area] = static_cast<UINT8>(At / 8);
    if (Area == FruAreaInternal) {
      FindLast (Text, TextSize, [](CONST DESC_LINE &L) { return L.Class == NameInternalData; }, &Line);
      if (((Status = DescExpand (&Line, Lookup, Context, Error)) != FruOk) || !DescValueAsHex (FRU_MAX_AREA_SIZE - 8, &Count)) {
        return (Status != FruOk) ? Status : DescFail (Error, Line.Number, "takes hex bytes", Line.Name, Line.NameLength);
      }

      Image[At] = FRU_FORMAT_VERSION;
      for (UINTN Index = 0; Index < Count; Index++) {
        Image[At + 1 + Index] = gDescBytes[Index];
      }

      At          += (1 + Count + 7) & ~static_cast<UINTN>(7);
      *InternalEnd = At;
    } else if (Area == FruAreaMultiRecord) {
      for (UINTN Record = 1; Record <= Plan->Records; Record++) {
        UINT64  Type;
        auto    IsType = [Record](CONST DESC_LINE &L) { return (L.Class == NameRecordType) && (L.Record == Record); };
        auto    IsData = [Record](CONST DESC_LINE &L) { return (L.Class == NameRecordData) && (L.Record == Record); };
        if (!FindLast (Text, TextSize, IsType, &Line)) {
          return DescFail (Error, 0, "is missing: every record needs its type", "multirecord.N.type", 18);
        }

        if (((Status = DescExpand (&Line, Lookup, Context, Error)) != FruOk) || !FruParseNumber (gDescValue, 0xFF, &Type)) {
          return (Status != FruOk) ? Status : DescFail (Error, Line.Number, "takes a number up to 0xFF", Line.Name, Line.NameLength);
        }

        Count = 0;
        if (FindLast (Text, TextSize, IsData, &Line) &&
            (((Status = DescExpand (&Line, Lookup, Context, Error)) != FruOk) || !DescValueAsHex (0xFF, &Count)))
        {
          return (Status != FruOk) ? Status : DescFail (Error, Line.Number, "takes up to 255 hex bytes", Line.Name, Line.NameLength);
        }

        UINT8  *Head = Image + At;
        Head[0] = static_cast<UINT8>(Type);
        Head[1] = static_cast<UINT8>(FRU_RECORD_VERSION | ((Record == Plan->Records) ? FRU_RECORD_END_OF_LIST : 0));
        Head[2] = static_cast<UINT8>(Count);
        for (UINTN Index = 0; Index < Count; Index++) {
          Head[FRU_RECORD_HEADER + Index] = gDescBytes[Index];
        }

        Head[3] = FruChecksum (Head + FRU_RECORD_HEADER, Count);
        Head[4] = FruChecksum (Head, 4);
        At     += FRU_RECORD_HEADER + Count;
        if (At + FRU_MAX_AREA_SIZE > Capacity) {
          return DescFail (Error, Line.Number, "the records would be larger than the device can hold", "", 0);
        }
      }
    } else {
      At += EmptyInfoArea (Image, At, Area, Plan->AreaSize[Area]);
    }
  }

  Image[FRU_HEADER_SIZE - 1] = FruChecksum (Image, FRU_HEADER_SIZE - 1);
  return FruOk;
}

}  // namespace

FRU_STATUS
FruMakeImage (
  IN  CONST CHAR8     *Text,
  IN  UINTN           TextSize,
  IN  FRU_LOOKUP      Lookup,
  IN  VOID            *Context,
  OUT UINT8           *Image,
  IN  UINTN           Capacity,
  OUT UINTN           *Size,
  OUT FRU_MAKE_ERROR  *Error
  )
{
  DESC_PLAN   Plan = {};
  DESC_LINE   Line;
  UINTN       End;
  FRU_STATUS  Status;

  *Size          = 0;
  Error->Line    = 0;
  Error->Message = NULL;
  Error->Name[0] = 0;
  Capacity       = (Capacity < FRU_MAX_IMAGE_SIZE) ? Capacity : FRU_MAX_IMAGE_SIZE;
  if (Capacity < FRU_HEADER_SIZE) {
    return DescFail (Error, 0, "no room for an image", "", 0);
  }

  for (UINTN Index = 0; Index < Capacity; Index++) {
    Image[Index] = 0;
  }

  if (((Status = MakePlan (Text, TextSize, Capacity, &Plan, Error)) != FruOk) ||
      ((Status = Skeleton (Text, TextSize, &Plan, Lookup, Context, Image, Capacity, &End, Error)) != FruOk))
  {
    return Status;
  }

  //
  // Every field, area by area, in field order: fixed fields, then custom.
  //
  for (UINTN Slot = FruAreaChassis; Slot <= FruAreaProduct; Slot++) {
    FRU_AREA  Area  = static_cast<FRU_AREA>(Slot);
    UINTN     Count = FruFixedFieldCount (Area) + Plan.Customs[Area];
    for (UINTN Step = 0; Plan.Present[Area] && (Step < Count + 1); Step++) {
      //
      // The last step sets the chassis type or the date.
      //
      BOOLEAN  Special = (Step == Count);
      auto     Match   = [Area, Step, Special](CONST DESC_LINE &L) {
                           return (L.Class == NameField) && (L.Field.Area == Area) &&
                                  (Special ? (L.Field.Kind != FruNameField) : ((L.Field.Kind == FruNameField) && (L.Field.Index == Step)));
                         };
      if (!FindLast (Text, TextSize, Match, &Line)) {
        continue;
      }

      FRU_CHANGE  Change;
      if ((Status = DescExpand (&Line, Lookup, Context, Error)) != FruOk) {
        return Status;
      }

      Status = FruSetValue (Image, Capacity, &Line.Field, gDescValue, &Change, &Error->Fru);
      if (Status != FruOk) {
        DescFail (Error, Line.Number, NULL, Line.Name, Line.NameLength);
        return Status;
      }
    }
  }

  //
  // The image ends where its last area does.
  //
  FRU_HEADER  Header;
  FRU_SPAN    Span;
  if ((Status = FruReadHeader (Image, Capacity, &Header, &Error->Fru)) != FruOk) {
    return Status;
  }

  for (UINTN Slot = FruAreaChassis; Slot < FruAreaCount; Slot++) {
    if (Header.Start[Slot] == 0) {
      continue;
    }

    if ((Status = FruCheckArea (Image, Capacity, &Header, static_cast<FRU_AREA>(Slot), &Span, &Error->Fru)) != FruOk) {
      return Status;
    }

    End = (Span.Start + Span.Length > End) ? Span.Start + Span.Length : End;
  }

  End = (End < FRU_HEADER_SIZE) ? FRU_HEADER_SIZE : End;
  if (Plan.ImageSize != 0) {
    if (End > Plan.ImageSize) {
      return DescFail (Error, 0, "is smaller than the image the description makes", "image.size", 10);
    }

    End = Plan.ImageSize;
  }

  *Size = End;
  return FruOk;
}

VOID
FruLineAddMakeError (
  IN OUT FRU_LINE              *Line,
  IN     CONST FRU_MAKE_ERROR  *Error
  )
{
  if (Error->Line != 0) {
    FruLineAdd (Line, "line ");
    FruLineAddDec (Line, Error->Line);
    FruLineAdd (Line, ": ");
  }

  if (Error->Name[0] != 0) {
    FruLineAdd (Line, Error->Name);
    FruLineAdd (Line, (Error->Message != NULL) ? " " : ": ");
  }

  if (Error->Message != NULL) {
    FruLineAdd (Line, Error->Message);
  } else {
    FruLineAddError (Line, &Error->Fru);
  }
}
