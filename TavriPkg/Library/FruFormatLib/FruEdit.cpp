/** @file
  Re-laying an info area around one new field value.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruEdit.h>
#include <Library/FruValue.h>

namespace {

constexpr UINT8  EMPTY_FIELD = static_cast<UINT8>(FRU_TYPE_8BIT << 6);

///
/// An area being laid out; Overflow is set once a byte did not fit.
///
typedef struct {
  UINT8      Bytes[FRU_MAX_AREA_SIZE];
  UINTN      Length;
  BOOLEAN    Overflow;
} AREA_BUILDER;

VOID
Put (
  IN OUT AREA_BUILDER  *Builder,
  IN     CONST UINT8   *Bytes,
  IN     UINTN         Count
  )
{
  for (UINTN Index = 0; Index < Count; Index++) {
    if (Builder->Length >= FRU_MAX_AREA_SIZE) {
      Builder->Overflow = TRUE;
      return;
    }

    Builder->Bytes[Builder->Length++] = Bytes[Index];
  }
}

/**
  Put a new value in a fixed byte of the area (chassis type, date) and fix
  the area checksum.
**/
FRU_STATUS
SetAreaBytes (
  IN OUT UINT8           *Data,
  IN     CONST FRU_SPAN  *Span,
  IN     UINTN           At,
  IN     UINT32          Value,
  IN     UINTN           Count,
  OUT    FRU_CHANGE      *Change
  )
{
  for (UINTN Index = 0; Index < Count; Index++) {
    Data[Span->Start + At + Index] = static_cast<UINT8>(Value >> (8 * Index));
  }

  Data[Span->Start + Span->Length - 1] = FruChecksum (Data + Span->Start, Span->Length - 1);
  Change->Start  = Span->Start;
  Change->Length = Span->Length;
  return FruOk;
}

/**
  Where the bytes of the areas after Span end: the end of the last one. Each
  of them must pass its checks, since they move as a whole.
**/
FRU_STATUS
FollowingEnd (
  IN  CONST UINT8       *Data,
  IN  UINTN             Size,
  IN  CONST FRU_HEADER  *Header,
  IN  CONST FRU_SPAN    *Span,
  OUT UINTN             *End,
  OUT FRU_ERROR         *Error
  )
{
  *End = Span->Limit;
  for (UINTN Index = FruAreaInternal; Index < FruAreaCount; Index++) {
    FRU_AREA  Other = static_cast<FRU_AREA>(Index);
    FRU_SPAN  OtherSpan;
    if (Header->Start[Other] <= Span->Start) {
      continue;
    }

    FRU_STATUS  Status = FruCheckArea (Data, Size, Header, Other, &OtherSpan, Error);
    if (Status != FruOk) {
      return Status;
    }

    if (OtherSpan.Start + OtherSpan.Length > *End) {
      *End = OtherSpan.Start + OtherSpan.Length;
    }
  }

  return FruOk;
}

/**
  Put a re-laid area of Length bytes (a multiple of 8; the length byte and
  checksum are set here) where Span was. An area keeps its length when the
  new content fits, the rest padding; it grows into free bytes after it; and
  otherwise every area after it moves up by whole 8-byte units, byte for byte,
  with the common header's offsets and checksum rewritten.
**/
FRU_STATUS
PlaceArea (
  IN OUT UINT8             *Data,
  IN     UINTN             Size,
  IN     CONST FRU_HEADER  *Header,
  IN     CONST FRU_SPAN    *Span,
  IN OUT UINT8             *Bytes,
  IN     UINTN             Length,
  OUT    FRU_CHANGE        *Change,
  OUT    FRU_ERROR         *Error
  )
{
  FRU_AREA  Area     = FruAreaHeader;
  UINTN     Delta    = 0;
  UINTN     MovedEnd = Span->Limit;

  for (UINTN Index = FruAreaInternal; Index < FruAreaCount; Index++) {
    if (Header->Start[Index] == Span->Start) {
      Area = static_cast<FRU_AREA>(Index);
    }
  }

  for ( ; Length < Span->Length; Length++) {
    Bytes[Length - 1] = 0;
  }

  if (Span->Start + Length > Span->Limit) {
    if (Span->Limit >= Size) {
      return FruFail (Error, FruErrNoRoom, Area, Span->Start + Length, Size);
    }

    Delta = (Span->Start + Length - Span->Limit + 7) & ~static_cast<UINTN>(7);
    FRU_STATUS  Status = FollowingEnd (Data, Size, Header, Span, &MovedEnd, Error);
    if (Status != FruOk) {
      return Status;
    }

    if (MovedEnd + Delta > Size) {
      return FruFail (Error, FruErrNoRoom, Area, MovedEnd + Delta, Size);
    }

    for (UINTN Index = FruAreaInternal; Index < FruAreaCount; Index++) {
      if ((Header->Start[Index] > Span->Start) && (Header->Start[Index] + Delta > UINTN (0xFF) * 8)) {
        return FruFail (Error, FruErrNoRoom, Area, Header->Start[Index] + Delta, UINTN (0xFF) * 8);
      }
    }

    for (UINTN Index = MovedEnd; Index > Span->Limit; Index--) {
      Data[Index - 1 + Delta] = Data[Index - 1];
    }

    for (UINTN Index = FruAreaInternal; Index < FruAreaCount; Index++) {
      if (Header->Start[Index] > Span->Start) {
        Data[Index] = static_cast<UINT8>((Header->Start[Index] + Delta) / 8);
      }
    }

    Data[FRU_HEADER_SIZE - 1] = FruChecksum (Data, FRU_HEADER_SIZE - 1);
  }

  Bytes[1]          = static_cast<UINT8>(Length / 8);
  Bytes[Length - 1] = FruChecksum (Bytes, Length - 1);
  for (UINTN Index = 0; Index < Length; Index++) {
    Data[Span->Start + Index] = Bytes[Index];
  }

  if (Delta != 0) {
    for (UINTN Index = Span->Start + Length; Index < Span->Limit + Delta; Index++) {
      Data[Index] = 0;
    }

    Change->Start  = 0;
    Change->Length = static_cast<UINT32>(MovedEnd + Delta);
  } else {
    Change->Start  = Span->Start;
    Change->Length = static_cast<UINT32>(Length);
  }

  return FruOk;
}

FRU_STATUS
SetField (
  IN OUT UINT8             *Data,
  IN     UINTN             Size,
  IN     CONST FRU_HEADER  *Header,
  IN     CONST FRU_SPAN    *Span,
  IN     CONST FRU_NAME  *Name,
  IN     CONST CHAR8     *Value,
  OUT    FRU_CHANGE      *Change,
  OUT    FRU_ERROR       *Error
  )
{
  static AREA_BUILDER  Builder;
  FRU_FIELD_CURSOR     Cursor;
  FRU_FIELD            Field;
  FRU_ENCODED_FIELD    Encoded;
  UINT8                OldType = FRU_TYPE_8BIT;
  UINTN                Count   = 0;
  UINTN                Fixed   = FruFixedFieldCount (Name->Area);

  FruFirstField (Span, Name->Area, &Cursor);
  while (FruNextField (Data, &Cursor, &Field)) {
    if (Field.Index == Name->Index) {
      OldType = Field.Type;
    }

    Count++;
  }

  if ((Name->Index >= Fixed) && (Name->Index > Count) && (Name->Index > Fixed)) {
    return FruFail (Error, FruErrFieldMissing, Name->Area, Span->Start, (Count > Fixed) ? Count - Fixed : 0);
  }

  if (FruEncodeValue (Value, OldType, &Encoded) != FruOk) {
    return FruFail (Error, FruErrBadValue, Name->Area, Span->Start, 0);
  }

  Builder.Length   = 0;
  Builder.Overflow = FALSE;
  Put (&Builder, Data + Span->Start, FruFirstFieldOffset (Name->Area));
  FruFirstField (Span, Name->Area, &Cursor);
  while (FruNextField (Data, &Cursor, &Field)) {
    if (Field.Index == Name->Index) {
      Put (&Builder, Encoded.Bytes, Encoded.Size);
    } else {
      Put (&Builder, Data + Field.Offset, 1u + Field.Length);
    }
  }

  for (UINTN Index = Count; Index <= Name->Index; Index++) {
    if (Index == Name->Index) {
      Put (&Builder, Encoded.Bytes, Encoded.Size);
    } else {
      Put (&Builder, &EMPTY_FIELD, 1);
    }
  }

  Put (&Builder, &FRU_END_OF_FIELDS, 1);
  CONST UINT8  Zero = 0;
  while (!Builder.Overflow && ((Builder.Length + 1) % 8 != 0)) {
    Put (&Builder, &Zero, 1);
  }

  UINTN  NewLength = Builder.Length + 1;
  if (Builder.Overflow || (NewLength > FRU_MAX_AREA_SIZE)) {
    return FruFail (Error, FruErrNoRoom, Name->Area, Span->Start + FRU_MAX_AREA_SIZE + 8, Span->Start + FRU_MAX_AREA_SIZE);
  }

  return PlaceArea (Data, Size, Header, Span, Builder.Bytes, NewLength, Change, Error);
}

}  // namespace

FRU_STATUS
FruSetValue (
  IN OUT UINT8           *Data,
  IN     UINTN           Size,
  IN     CONST FRU_NAME  *Name,
  IN     CONST CHAR8     *Value,
  OUT    FRU_CHANGE      *Change,
  OUT    FRU_ERROR       *Error
  )
{
  FRU_HEADER  Header;
  FRU_SPAN    Span;
  FRU_STATUS  Status;

  Change->Start  = 0;
  Change->Length = 0;
  Status = FruReadHeader (Data, Size, &Header, Error);
  if (Status == FruOk) {
    Status = FruCheckArea (Data, Size, &Header, Name->Area, &Span, Error);
  }

  if (Status != FruOk) {
    return Status;
  }

  UINT64  Number;
  UINT32  Minutes;
  switch (Name->Kind) {
    case FruNameChassisType:
      if (!FruParseNumber (Value, 0xFF, &Number)) {
        return FruFail (Error, FruErrBadValue, Name->Area, Span.Start + 2, 0xFF);
      }

      return SetAreaBytes (Data, &Span, 2, static_cast<UINT32>(Number), 1, Change);

    case FruNameMfgDate:
      if (!FruParseDate (Value, &Minutes)) {
        return FruFail (Error, FruErrBadValue, Name->Area, Span.Start + 3, 0);
      }

      return SetAreaBytes (Data, &Span, 3, Minutes, 3, Change);

    default:
      return SetField (Data, Size, &Header, &Span, Name, Value, Change, Error);
  }
}
