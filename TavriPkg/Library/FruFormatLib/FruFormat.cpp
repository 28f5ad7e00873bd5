/** @file
  Decoding and checking of a FRU image held in memory: the common header, the
  span and contents of each area, and the walk over fields and records.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruFormat.h>

namespace {

///
/// Bytes of each area before its first type/length byte: version, length,
/// then chassis type; or language; or language and the 3-byte date.
///
constexpr UINT8  mFirstFieldOffset[FruAreaCount] = { 0, 0, 3, 6, 3, 0 };
constexpr UINT8  mFixedFields[FruAreaCount]      = { 0, 0, 2, 5, 7, 0 };

UINT8
Sum (
  IN CONST UINT8  *Data,
  IN UINTN        Length
  )
{
  UINT8  Total = 0;

  for (UINTN Index = 0; Index < Length; Index++) {
    Total = static_cast<UINT8>(Total + Data[Index]);
  }

  return Total;
}

/**
  Where the area starting at Start must end: the nearest other area start
  after it, or the end of the data. Duplicate reports another area at the
  same start.
**/
UINT32
AreaLimit (
  IN  CONST FRU_HEADER  *Header,
  IN  FRU_AREA          Area,
  IN  UINTN             Size,
  OUT BOOLEAN           *Duplicate
  )
{
  UINT32  Start = Header->Start[Area];
  UINT32  Limit = static_cast<UINT32>(Size);

  *Duplicate = FALSE;
  for (UINTN Other = FruAreaInternal; Other < FruAreaCount; Other++) {
    UINT32  OtherStart = Header->Start[Other];
    if ((Other == static_cast<UINTN>(Area)) || (OtherStart == 0)) {
      continue;
    }

    if (OtherStart == Start) {
      *Duplicate = TRUE;
    } else if ((OtherStart > Start) && (OtherStart < Limit)) {
      Limit = OtherStart;
    }
  }

  return Limit;
}

FRU_STATUS
CheckInfoArea (
  IN  CONST UINT8  *Data,
  IN  UINTN        Size,
  IN  FRU_AREA     Area,
  IN OUT FRU_SPAN  *Span,
  OUT FRU_ERROR    *Error
  )
{
  UINTN  Start = Span->Start;

  if (Start + 2 > Size) {
    return FruFail (Error, FruErrTruncated, Area, Start + 1, Size);
  }

  if (Data[Start] != FRU_FORMAT_VERSION) {
    return FruFail (Error, FruErrVersion, Area, Start, FRU_FORMAT_VERSION);
  }

  UINTN  Length = static_cast<UINTN>(Data[Start + 1]) * 8;
  if (Length == 0) {
    return FruFail (Error, FruErrAreaLength, Area, Start + 1, 0);
  }

  if (Start + Length > Size) {
    return FruFail (Error, FruErrTruncated, Area, Start + Length, Size);
  }

  if (Start + Length > Span->Limit) {
    return FruFail (Error, FruErrOverlap, Area, Start + Length, Span->Limit);
  }

  Span->Length = static_cast<UINT32>(Length);
  if (Sum (Data + Start, Length) != 0) {
    return FruFail (Error, FruErrChecksum, Area, Start + Length - 1, FruChecksum (Data + Start, Length - 1));
  }

  UINTN  End = Start + Length - 1;
  UINTN  At  = Start + mFirstFieldOffset[Area];
  if (At > End) {
    return FruFail (Error, FruErrFieldPastArea, Area, Start, End);
  }

  for ( ; ;) {
    if (At >= End) {
      return FruFail (Error, FruErrNoEndMarker, Area, At, End);
    }

    if (Data[At] == FRU_END_OF_FIELDS) {
      return FruOk;
    }

    UINTN  Next = At + 1 + (Data[At] & 0x3F);
    if (Next > End) {
      return FruFail (Error, FruErrFieldPastArea, Area, At, End);
    }

    At = Next;
  }
}

FRU_STATUS
CheckMultiRecordArea (
  IN  CONST UINT8  *Data,
  IN  UINTN        Size,
  IN OUT FRU_SPAN  *Span,
  OUT FRU_ERROR    *Error
  )
{
  UINTN  At = Span->Start;

  for ( ; ;) {
    if (At + FRU_RECORD_HEADER > Size) {
      return FruFail (Error, FruErrTruncated, FruAreaMultiRecord, At + FRU_RECORD_HEADER, Size);
    }

    if (Sum (Data + At, FRU_RECORD_HEADER) != 0) {
      return FruFail (Error, FruErrRecordHeaderChecksum, FruAreaMultiRecord, At + 4, FruChecksum (Data + At, 4));
    }

    if ((Data[At + 1] & 0x0F) != FRU_RECORD_VERSION) {
      return FruFail (Error, FruErrRecordVersion, FruAreaMultiRecord, At + 1, FRU_RECORD_VERSION);
    }

    UINTN  Length = Data[At + 2];
    UINTN  Next   = At + FRU_RECORD_HEADER + Length;
    if (Next > Size) {
      return FruFail (Error, FruErrTruncated, FruAreaMultiRecord, Next, Size);
    }

    if (Next > Span->Limit) {
      return FruFail (Error, FruErrOverlap, FruAreaMultiRecord, Next, Span->Limit);
    }

    if (static_cast<UINT8>(Sum (Data + At + FRU_RECORD_HEADER, Length) + Data[At + 3]) != 0) {
      return FruFail (Error, FruErrRecordChecksum, FruAreaMultiRecord, At + 3, FruChecksum (Data + At + FRU_RECORD_HEADER, Length));
    }

    Span->Length = static_cast<UINT32>(Next - Span->Start);
    if ((Data[At + 1] & FRU_RECORD_END_OF_LIST) != 0) {
      return FruOk;
    }

    At = Next;
  }
}

UINTN
Larger (
  IN UINTN  A,
  IN UINTN  B
  )
{
  return (A > B) ? A : B;
}

}  // namespace

UINT8
FruChecksum (
  IN CONST UINT8  *Data,
  IN UINTN        Length
  )
{
  return static_cast<UINT8>(0x100 - Sum (Data, Length));
}

FRU_STATUS
FruReadHeader (
  IN  CONST UINT8  *Data,
  IN  UINTN        Size,
  OUT FRU_HEADER   *Header,
  OUT FRU_ERROR    *Error
  )
{
  for (UINTN Area = 0; Area < FruAreaCount; Area++) {
    Header->Start[Area] = 0;
  }

  if (Size < FRU_HEADER_SIZE) {
    return FruFail (Error, FruErrTruncated, FruAreaHeader, FRU_HEADER_SIZE, Size);
  }

  if (Data[0] != FRU_FORMAT_VERSION) {
    return FruFail (Error, FruErrVersion, FruAreaHeader, 0, FRU_FORMAT_VERSION);
  }

  if (Sum (Data, FRU_HEADER_SIZE) != 0) {
    return FruFail (Error, FruErrChecksum, FruAreaHeader, 7, FruChecksum (Data, 7));
  }

  //
  // An area starting at or past the end means the image was cut short. The
  // cut falls in the last area that starts inside the image, unless the image
  // ends exactly where the next area starts: then that area is missing.
  //
  UINTN     Beyond     = 0;
  FRU_AREA  BeyondArea = FruAreaHeader;
  UINTN     Last       = 0;
  FRU_AREA  LastArea   = FruAreaHeader;
  for (UINTN Area = FruAreaInternal; Area < FruAreaCount; Area++) {
    UINTN  Start = static_cast<UINTN>(Data[Area]) * 8;
    if (Start >= Size) {
      if ((Beyond == 0) || (Start < Beyond)) {
        Beyond     = Start;
        BeyondArea = static_cast<FRU_AREA>(Area);
      }
    } else if (Start > Last) {
      Last     = Start;
      LastArea = static_cast<FRU_AREA>(Area);
    }
  }

  if (Beyond != 0) {
    FRU_AREA  Cut = ((Beyond > Size) && (Last != 0)) ? LastArea : BeyondArea;
    return FruFail (Error, FruErrTruncated, Cut, Beyond, Size);
  }

  for (UINTN Area = FruAreaInternal; Area < FruAreaCount; Area++) {
    Header->Start[Area] = static_cast<UINT32>(Data[Area]) * 8;
  }

  return FruOk;
}

FRU_STATUS
FruCheckArea (
  IN  CONST UINT8       *Data,
  IN  UINTN             Size,
  IN  CONST FRU_HEADER  *Header,
  IN  FRU_AREA          Area,
  OUT FRU_SPAN          *Span,
  OUT FRU_ERROR         *Error
  )
{
  BOOLEAN  Duplicate;

  Span->Start  = Header->Start[Area];
  Span->Length = 0;
  Span->Limit  = 0;
  if (Area == FruAreaHeader) {
    Span->Length = FRU_HEADER_SIZE;
    Span->Limit  = FRU_HEADER_SIZE;
    return FruOk;
  }

  if (Span->Start == 0) {
    return FruFail (Error, FruErrAreaAbsent, Area, 0, 0);
  }

  Span->Limit = AreaLimit (Header, Area, Size, &Duplicate);
  if (Duplicate) {
    return FruFail (Error, FruErrOverlap, Area, Span->Start, Span->Start);
  }

  switch (Area) {
    case FruAreaInternal:
      if (Data[Span->Start] != FRU_FORMAT_VERSION) {
        return FruFail (Error, FruErrVersion, Area, Span->Start, FRU_FORMAT_VERSION);
      }

      Span->Length = Span->Limit - Span->Start;
      return FruOk;

    case FruAreaMultiRecord:
      return CheckMultiRecordArea (Data, Size, Span, Error);

    default:
      return CheckInfoArea (Data, Size, Area, Span, Error);
  }
}

UINTN
FruNeededSize (
  IN CONST UINT8  *Data,
  IN UINTN        Have
  )
{
  if (Have < FRU_HEADER_SIZE) {
    return FRU_HEADER_SIZE;
  }

  if ((Data[0] != FRU_FORMAT_VERSION) || (Sum (Data, FRU_HEADER_SIZE) != 0)) {
    return Have;
  }

  UINTN  Need = FRU_HEADER_SIZE;
  for (UINTN Area = FruAreaInternal; Area < FruAreaCount; Area++) {
    UINTN  Start = static_cast<UINTN>(Data[Area]) * 8;
    if (Start == 0) {
      continue;
    }

    if (Area == FruAreaInternal) {
      Need = Larger (Need, Start + 1);
    } else if (Area == FruAreaMultiRecord) {
      for (UINTN At = Start; At < FRU_MAX_IMAGE_SIZE; ) {
        Need = Larger (Need, At + FRU_RECORD_HEADER);
        if (Have < At + FRU_RECORD_HEADER) {
          break;
        }

        UINTN  Next = At + FRU_RECORD_HEADER + Data[At + 2];
        Need = Larger (Need, Next);
        if (((Data[At + 1] & FRU_RECORD_END_OF_LIST) != 0) || (Have < Next)) {
          break;
        }

        At = Next;
      }
    } else {
      Need = Larger (Need, Start + 2);
      if (Have >= Start + 2) {
        Need = Larger (Need, Start + static_cast<UINTN>(Data[Start + 1]) * 8);
      }
    }
  }

  return (Need > FRU_MAX_IMAGE_SIZE) ? FRU_MAX_IMAGE_SIZE : Need;
}

UINTN
FruFixedFieldCount (
  IN FRU_AREA  Area
  )
{
  return mFixedFields[Area];
}

UINTN
FruFirstFieldOffset (
  IN FRU_AREA  Area
  )
{
  return mFirstFieldOffset[Area];
}

VOID
FruFirstField (
  IN  CONST FRU_SPAN    *Span,
  IN  FRU_AREA          Area,
  OUT FRU_FIELD_CURSOR  *Cursor
  )
{
  Cursor->Next  = Span->Start + mFirstFieldOffset[Area];
  Cursor->End   = (Span->Length == 0) ? Span->Start : Span->Start + Span->Length - 1;
  Cursor->Index = 0;
}

BOOLEAN
FruNextField (
  IN     CONST UINT8       *Data,
  IN OUT FRU_FIELD_CURSOR  *Cursor,
  OUT    FRU_FIELD         *Field
  )
{
  if ((Cursor->Next >= Cursor->End) || (Data[Cursor->Next] == FRU_END_OF_FIELDS)) {
    return FALSE;
  }

  UINT8   TypeLength = Data[Cursor->Next];
  UINT32  Next       = Cursor->Next + 1 + (TypeLength & 0x3F);
  if (Next > Cursor->End) {
    return FALSE;
  }

  Field->Offset  = Cursor->Next;
  Field->Type    = static_cast<UINT8>(TypeLength >> 6);
  Field->Length  = static_cast<UINT8>(TypeLength & 0x3F);
  Field->Index   = Cursor->Index;
  Cursor->Next   = Next;
  Cursor->Index  = static_cast<UINT16>(Cursor->Index + 1);
  return TRUE;
}

BOOLEAN
FruNextRecord (
  IN     CONST UINT8     *Data,
  IN     CONST FRU_SPAN  *Span,
  IN OUT UINT32          *Offset,
  OUT    FRU_RECORD      *Record
  )
{
  UINT32  End = Span->Start + Span->Length;

  if (*Offset + FRU_RECORD_HEADER > End) {
    return FALSE;
  }

  Record->Offset = *Offset;
  Record->Type   = Data[*Offset];
  Record->Format = Data[*Offset + 1];
  Record->Length = Data[*Offset + 2];
  if (*Offset + FRU_RECORD_HEADER + Record->Length > End) {
    return FALSE;
  }

  *Offset += static_cast<UINT32>(FRU_RECORD_HEADER + Record->Length);
  return TRUE;
}
