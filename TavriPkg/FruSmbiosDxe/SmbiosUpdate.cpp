/** @file
  SMBIOS types 1, 2 and 3 from the FRU values, through the SMBIOS protocol.

  Each structure is first copied out of the protocol (the pointer GetNext
  gives lasts only until the next change) and every decision is taken on the
  copy. A string field whose string it can change in place is changed with
  UpdateString. A string field without a string of its own (number 0, a
  number past the structure's strings, or a string another field of the
  structure also points to) and the chassis type byte need a new structure:
  the copy, changed, replaces the old one under the same handle; if the
  protocol refuses it, the old copy goes back.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "SmbiosUpdate.h"

namespace {

///
/// A structure copied out of the protocol: formatted area, strings, the
/// closing zero. Size counts all of it; Strings the strings.
///
typedef struct {
  UINT8    Bytes[SMBIOS_UPDATE_RECORD_MAX];
  UINTN    Size;
  UINTN    Strings;
} RECORD_COPY;

RECORD_COPY  mOld;
RECORD_COPY  mNew;

///
/// The string fields of each type, for telling whether two fields share a
/// string. Offsets past a structure's formatted area are not in it.
///
constexpr UINT8  mType1Strings[] = { 0x04, 0x05, 0x06, 0x07, 0x19, 0x1A };
constexpr UINT8  mType2Strings[] = { 0x04, 0x05, 0x06, 0x07, 0x08, 0x0A };
constexpr UINT8  mType3Strings[] = { 0x04, 0x06, 0x07, 0x08 };

///
/// One change asked of a structure.
///
typedef struct {
  UINT8          Offset;     ///< string field
  CONST CHAR8    *Text;
  UINTN          Entry;      ///< its mFruSmbiosMap entry
  BOOLEAN        Fresh;      ///< needs a string of its own
} STRING_CHANGE;

constexpr UINTN  MAX_CHANGES = FRU_SMBIOS_MAP_COUNT;

UINTN
TextLength (
  IN CONST CHAR8  *Text
  )
{
  UINTN  Length = 0;

  while (Text[Length] != '\0') {
    Length++;
  }

  return Length;
}

BOOLEAN
TextEqual (
  IN CONST CHAR8  *A,
  IN CONST CHAR8  *B
  )
{
  UINTN  Index = 0;

  while ((A[Index] != '\0') && (A[Index] == B[Index])) {
    Index++;
  }

  return A[Index] == B[Index];
}

/**
  Copy a structure out of the protocol, with its strings, into Copy.

  @retval EFI_SUCCESS          Copied.
  @retval EFI_BUFFER_TOO_SMALL It is larger than SMBIOS_UPDATE_RECORD_MAX.
**/
EFI_STATUS
CopyRecord (
  IN  CONST EFI_SMBIOS_TABLE_HEADER  *Record,
  OUT RECORD_COPY                    *Copy
  )
{
  CONST UINT8  *Bytes = reinterpret_cast<CONST UINT8 *>(Record);
  UINTN        At     = Record->Length;

  Copy->Strings = 0;
  if ((At < sizeof (SMBIOS_STRUCTURE)) || (At + 2 > SMBIOS_UPDATE_RECORD_MAX)) {
    return EFI_BUFFER_TOO_SMALL;
  }

  if (Bytes[At] == 0) {
    At += 2;
  } else {
    for ( ; ;) {
      while ((At < SMBIOS_UPDATE_RECORD_MAX) && (Bytes[At] != 0)) {
        At++;
      }

      if (At + 1 >= SMBIOS_UPDATE_RECORD_MAX) {
        return EFI_BUFFER_TOO_SMALL;
      }

      Copy->Strings++;
      At++;
      if (Bytes[At] == 0) {
        At++;
        break;
      }
    }
  }

  for (UINTN Index = 0; Index < At; Index++) {
    Copy->Bytes[Index] = Bytes[Index];
  }

  Copy->Size = At;
  return EFI_SUCCESS;
}

/**
  @return String Number (1-based) of a copied structure.
**/
CONST CHAR8 *
StringOf (
  IN CONST RECORD_COPY  *Copy,
  IN UINTN              Number
  )
{
  UINTN  At = Copy->Bytes[1];

  for (UINTN Index = 1; Index < Number; Index++) {
    while (Copy->Bytes[At] != 0) {
      At++;
    }

    At++;
  }

  return reinterpret_cast<CONST CHAR8 *>(Copy->Bytes + At);
}

/**
  Whether string Number of the copy is pointed to by a string field other
  than Offset that is not being given the same text.
**/
BOOLEAN
SharedWithOtherField (
  IN CONST RECORD_COPY    *Copy,
  IN UINT8                Offset,
  IN CONST CHAR8          *Text,
  IN CONST STRING_CHANGE  *Changes,
  IN UINTN                Count
  )
{
  CONST UINT8  *Fields;
  UINTN        FieldCount;
  UINT8        Sku3 = 0;
  UINT8        Length = Copy->Bytes[1];

  switch (Copy->Bytes[0]) {
    case SMBIOS_TYPE_SYSTEM_INFORMATION:
      Fields = mType1Strings, FieldCount = sizeof (mType1Strings);
      break;
    case SMBIOS_TYPE_BASEBOARD_INFORMATION:
      Fields = mType2Strings, FieldCount = sizeof (mType2Strings);
      break;
    default:
      Fields = mType3Strings, FieldCount = sizeof (mType3Strings);
      if (Length > OFFSET_OF (SMBIOS_TABLE_TYPE3, ContainedElementRecordLength)) {
        UINTN  At = OFFSET_OF (SMBIOS_TABLE_TYPE3, ContainedElements) +
                    static_cast<UINTN>(Copy->Bytes[0x13]) * Copy->Bytes[0x14];
        Sku3 = (At < Length) ? static_cast<UINT8>(At) : 0;
      }

      break;
  }

  for (UINTN Index = 0; Index <= FieldCount; Index++) {
    UINT8  Other = (Index < FieldCount) ? Fields[Index] : Sku3;
    if ((Other == 0) || (Other == Offset) || (Other >= Length) ||
        (Copy->Bytes[Other] != Copy->Bytes[Offset]))
    {
      continue;
    }

    BOOLEAN  SameText = FALSE;
    for (UINTN Change = 0; Change < Count; Change++) {
      if ((Changes[Change].Offset == Other) && TextEqual (Changes[Change].Text, Text)) {
        SameText = TRUE;
      }
    }

    if (!SameText) {
      return TRUE;
    }
  }

  return FALSE;
}

/**
  Build in mNew the copy in mOld with the chassis type byte and the fresh
  strings, then swap it in for the old structure under the same handle.
**/
EFI_STATUS
ReplaceRecord (
  IN     CONST EFI_SMBIOS_PROTOCOL  *Smbios,
  IN     EFI_HANDLE                 Producer,
  IN OUT STRING_CHANGE              *Changes,
  IN     UINTN                      Count,
  IN     UINTN                      TypeByteOffset,
  IN     UINT8                      TypeByte
  )
{
  UINT8              Length  = mOld.Bytes[1];
  UINTN              At      = (mOld.Strings == 0) ? Length : mOld.Size - 1;
  UINTN              Strings = mOld.Strings;
  EFI_SMBIOS_HANDLE  Handle;
  EFI_STATUS         Status;

  for (UINTN Index = 0; Index < At; Index++) {
    mNew.Bytes[Index] = mOld.Bytes[Index];
  }

  if (TypeByteOffset != 0) {
    mNew.Bytes[TypeByteOffset] = TypeByte;
  }

  for (UINTN Change = 0; Change < Count; Change++) {
    if (!Changes[Change].Fresh) {
      continue;
    }

    UINTN  Size = TextLength (Changes[Change].Text) + 1;
    if (At + Size + 2 > SMBIOS_UPDATE_RECORD_MAX) {
      return EFI_BUFFER_TOO_SMALL;
    }

    for (UINTN Index = 0; Index < Size; Index++) {
      mNew.Bytes[At + Index] = static_cast<UINT8>(Changes[Change].Text[Index]);
    }

    At += Size;
    mNew.Bytes[Changes[Change].Offset] = static_cast<UINT8>(++Strings);
  }

  if (Strings == 0) {
    mNew.Bytes[At++] = 0;
  }

  mNew.Bytes[At++] = 0;
  mNew.Size        = At;

  Handle = reinterpret_cast<SMBIOS_STRUCTURE *>(mOld.Bytes)->Handle;
  Status = Smbios->Remove (Smbios, Handle);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = Smbios->Add (Smbios, Producer, &Handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER *>(mNew.Bytes));
  if (EFI_ERROR (Status)) {
    EFI_SMBIOS_HANDLE  Again = reinterpret_cast<SMBIOS_STRUCTURE *>(mOld.Bytes)->Handle;
    (VOID)Smbios->Add (Smbios, Producer, &Again, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER *>(mOld.Bytes));
    return Status;
  }

  return EFI_SUCCESS;
}

/**
  Apply the FRU values for one type to the first structure of that type.

  @retval EFI_NOT_FOUND  The platform has no structure of that type.
**/
EFI_STATUS
UpdateType (
  IN     CONST EFI_SMBIOS_PROTOCOL  *Smbios,
  IN     EFI_HANDLE                 Producer,
  IN     CONST FRU_SMBIOS_VALUES        *Values,
  IN     UINT8                      Type,
  IN OUT SMBIOS_UPDATE_RESULT       *Result
  )
{
  EFI_SMBIOS_HANDLE        Handle = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_TYPE          Wanted = Type;
  EFI_SMBIOS_TABLE_HEADER  *Record;
  STRING_CHANGE            Changes[MAX_CHANGES];
  UINTN                    Count   = 0;
  BOOLEAN                  Replace = FALSE;
  UINTN                    TypeByteOffset = 0;
  UINT8                    TypeByte       = 0;
  EFI_STATUS               Status;

  Status = Smbios->GetNext (Smbios, &Handle, &Wanted, &Record, NULL);
  if (EFI_ERROR (Status)) {
    return EFI_NOT_FOUND;
  }

  Status = CopyRecord (Record, &mOld);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  UINT8  Length = mOld.Bytes[1];
  for (UINTN Entry = 0; Entry < FRU_SMBIOS_MAP_COUNT; Entry++) {
    CONST FRU_SMBIOS_VALUE  *Value = &Values->Value[Entry];
    UINT8                   Offset = mFruSmbiosMap[Entry].SmbiosOffset;
    if ((mFruSmbiosMap[Entry].SmbiosType != Type) || (Value->State != FruValueSet) || (Offset >= Length)) {
      continue;
    }

    UINTN  Number = mOld.Bytes[Offset];
    if ((Number != 0) && (Number <= mOld.Strings) && TextEqual (StringOf (&mOld, Number), Value->Text)) {
      Result->Changed |= 1u << Entry;     // already there
      continue;
    }

    Changes[Count] = { Offset, Value->Text, Entry, FALSE };
    Count++;
  }

  for (UINTN Change = 0; Change < Count; Change++) {
    UINTN  Number = mOld.Bytes[Changes[Change].Offset];
    Changes[Change].Fresh = (Number == 0) || (Number > mOld.Strings) ||
                            SharedWithOtherField (&mOld, Changes[Change].Offset, Changes[Change].Text, Changes, Count);
    Replace = Replace || Changes[Change].Fresh;
  }

  if ((Type == SMBIOS_TYPE_SYSTEM_ENCLOSURE) && (Values->ChassisType != 0) &&
      (Length > OFFSET_OF (SMBIOS_TABLE_TYPE3, Type)))
  {
    TypeByteOffset = OFFSET_OF (SMBIOS_TABLE_TYPE3, Type);
    TypeByte       = static_cast<UINT8>((mOld.Bytes[TypeByteOffset] & 0x80) | Values->ChassisType);
    if (TypeByte != mOld.Bytes[TypeByteOffset]) {
      Replace = TRUE;
    } else {
      TypeByteOffset = 0;
    }
  }

  Status = EFI_SUCCESS;
  if (Replace) {
    Status = ReplaceRecord (Smbios, Producer, Changes, Count, TypeByteOffset, TypeByte);
    if (EFI_ERROR (Status)) {
      return Status;
    }

    for (UINTN Change = 0; Change < Count; Change++) {
      if (Changes[Change].Fresh) {
        Result->Changed |= 1u << Changes[Change].Entry;
      }
    }
  }

  for (UINTN Change = 0; Change < Count; Change++) {
    if (Changes[Change].Fresh) {
      continue;
    }

    UINTN       Number  = mOld.Bytes[Changes[Change].Offset];
    EFI_STATUS  Updated = Smbios->UpdateString (Smbios, &Handle, &Number, const_cast<CHAR8 *>(Changes[Change].Text));
    if (EFI_ERROR (Updated)) {
      Status = Updated;
    } else {
      Result->Changed |= 1u << Changes[Change].Entry;
    }
  }

  return Status;
}

/**
  Add a baseboard structure with the board area's strings when the platform
  has none: a motherboard, in the first enclosure if there is one.
**/
EFI_STATUS
AddBaseboard (
  IN     CONST EFI_SMBIOS_PROTOCOL  *Smbios,
  IN     EFI_HANDLE                 Producer,
  IN     CONST FRU_SMBIOS_VALUES        *Values,
  IN OUT SMBIOS_UPDATE_RESULT       *Result
  )
{
  EFI_SMBIOS_HANDLE        Chassis = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_TYPE          Wanted  = SMBIOS_TYPE_SYSTEM_ENCLOSURE;
  EFI_SMBIOS_TABLE_HEADER  *Record;
  STRING_CHANGE            Changes[MAX_CHANGES];
  UINTN                    Count = 0;
  constexpr UINT8          Length = OFFSET_OF (SMBIOS_TABLE_TYPE2, ContainedObjectHandles);

  for (UINTN Entry = 0; Entry < FRU_SMBIOS_MAP_COUNT; Entry++) {
    if ((mFruSmbiosMap[Entry].SmbiosType == SMBIOS_TYPE_BASEBOARD_INFORMATION) &&
        (Values->Value[Entry].State == FruValueSet))
    {
      Changes[Count] = { mFruSmbiosMap[Entry].SmbiosOffset, Values->Value[Entry].Text, Entry, TRUE };
      Count++;
    }
  }

  if (Count == 0) {
    return EFI_SUCCESS;
  }

  if (EFI_ERROR (Smbios->GetNext (Smbios, &Chassis, &Wanted, &Record, NULL))) {
    Chassis = 0xFFFF;
  }

  //
  // A structure of the formatted area alone and no strings; ReplaceRecord
  // would add the strings, but this one is new: build it here.
  //
  SMBIOS_TABLE_TYPE2  *Board = reinterpret_cast<SMBIOS_TABLE_TYPE2 *>(mNew.Bytes);
  for (UINTN Index = 0; Index < Length; Index++) {
    mNew.Bytes[Index] = 0;
  }

  Board->Hdr.Type                = SMBIOS_TYPE_BASEBOARD_INFORMATION;
  Board->Hdr.Length              = Length;
  Board->Hdr.Handle              = SMBIOS_HANDLE_PI_RESERVED;
  Board->FeatureFlag.Motherboard = 1;
  Board->ChassisHandle           = Chassis;
  Board->BoardType               = BaseBoardTypeMotherBoard;

  UINTN  At = Length;
  for (UINTN Change = 0; Change < Count; Change++) {
    UINTN  Size = TextLength (Changes[Change].Text) + 1;
    for (UINTN Index = 0; Index < Size; Index++) {
      mNew.Bytes[At + Index] = static_cast<UINT8>(Changes[Change].Text[Index]);
    }

    At += Size;
    mNew.Bytes[Changes[Change].Offset] = static_cast<UINT8>(Change + 1);
  }

  mNew.Bytes[At] = 0;

  EFI_SMBIOS_HANDLE  Handle = SMBIOS_HANDLE_PI_RESERVED;
  EFI_STATUS         Status = Smbios->Add (Smbios, Producer, &Handle, &Board->Hdr);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Result->BaseboardAdded = TRUE;
  for (UINTN Change = 0; Change < Count; Change++) {
    Result->Changed |= 1u << Changes[Change].Entry;
  }

  return EFI_SUCCESS;
}

}  // namespace

static_assert (FRU_SMBIOS_MAP_COUNT <= 32, "SMBIOS_UPDATE_RESULT.Changed has a bit per map entry");
static_assert (UINTN (4) * (SMBIOS_STRING_MAX_LENGTH + 1) + OFFSET_OF (SMBIOS_TABLE_TYPE2, ContainedObjectHandles) + 1 <=
               SMBIOS_UPDATE_RECORD_MAX, "a new baseboard structure fits");

VOID
SmbiosUpdateFromFru (
  IN  CONST EFI_SMBIOS_PROTOCOL  *Smbios,
  IN  EFI_HANDLE                 Producer,
  IN  CONST FRU_SMBIOS_VALUES        *Values,
  OUT SMBIOS_UPDATE_RESULT       *Result
  )
{
  Result->Changed        = 0;
  Result->BaseboardAdded = FALSE;
  for (UINTN Type = 0; Type < 4; Type++) {
    Result->TypeStatus[Type] = EFI_SUCCESS;
  }

  Result->TypeStatus[1] = UpdateType (Smbios, Producer, Values, SMBIOS_TYPE_SYSTEM_INFORMATION, Result);
  Result->TypeStatus[3] = UpdateType (Smbios, Producer, Values, SMBIOS_TYPE_SYSTEM_ENCLOSURE, Result);
  Result->TypeStatus[2] = UpdateType (Smbios, Producer, Values, SMBIOS_TYPE_BASEBOARD_INFORMATION, Result);
  if (Result->TypeStatus[2] == EFI_NOT_FOUND) {
    Result->TypeStatus[2] = AddBaseboard (Smbios, Producer, Values, Result);
  }
}
