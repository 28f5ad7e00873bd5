/** @file
  Decoding and encoding of field values, dates and chassis types.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruValue.h>

namespace {

constexpr CHAR8   mBcdPlus[]     = "0123456789 -.???";
constexpr INT64   DAYS_TO_1996   = 9496;           ///< 1970-01-01 to 1996-01-01
constexpr UINT32  MAX_MINUTES    = 0xFFFFFF;

CONST CHAR8  *CONST  mChassisTypes[] = {
  NULL, "Other", "Unknown", "Desktop", "Low Profile Desktop", "Pizza Box",
  "Mini Tower", "Tower", "Portable", "Laptop", "Notebook", "Hand Held",
  "Docking Station", "All in One", "Sub Notebook", "Space-saving",
  "Lunch Box", "Main Server Chassis", "Expansion Chassis", "SubChassis",
  "Bus Expansion Chassis", "Peripheral Chassis", "RAID Chassis",
  "Rack Mount Chassis", "Sealed-case PC", "Multi-system Chassis",
  "Compact PCI", "Advanced TCA", "Blade", "Blade Enclosure", "Tablet",
  "Convertible", "Detachable", "IoT Gateway", "Embedded PC", "Mini PC",
  "Stick PC"
};

INT32
BcdCode (
  IN CHAR8  Char
  )
{
  for (INT32 Code = 0; Code < 13; Code++) {
    if (mBcdPlus[Code] == Char) {
      return Code;
    }
  }

  return -1;
}

INT32
HexDigit (
  IN CHAR8  Char
  )
{
  if ((Char >= '0') && (Char <= '9')) {
    return Char - '0';
  }

  if ((Char >= 'a') && (Char <= 'f')) {
    return Char - 'a' + 10;
  }

  if ((Char >= 'A') && (Char <= 'F')) {
    return Char - 'A' + 10;
  }

  return -1;
}

/**
  Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
**/
INT64
DaysFromCivil (
  IN INT64   Year,
  IN UINT32  Month,
  IN UINT32  Day
  )
{
  Year -= (Month <= 2) ? 1 : 0;
  INT64   Era       = Year / 400;
  UINT32  YearOfEra = static_cast<UINT32>(Year - Era * 400);
  UINT32  DayOfYear = (153 * (Month + ((Month > 2) ? -3 : 9)) + 2) / 5 + Day - 1;
  UINT32  DayOfEra  = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;

  return Era * 146097 + static_cast<INT64>(DayOfEra) - 719468;
}

VOID
CivilFromDays (
  IN  INT64   Days,
  OUT INT64   *Year,
  OUT UINT32  *Month,
  OUT UINT32  *Day
  )
{
  Days += 719468;
  INT64   Era       = Days / 146097;
  UINT32  DayOfEra  = static_cast<UINT32>(Days - Era * 146097);
  UINT32  YearOfEra = (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
  UINT32  DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  UINT32  MonthP    = (5 * DayOfYear + 2) / 153;

  *Day   = DayOfYear - (153 * MonthP + 2) / 5 + 1;
  *Month = (MonthP < 10) ? MonthP + 3 : MonthP - 9;
  *Year  = static_cast<INT64>(YearOfEra) + Era * 400 + ((*Month <= 2) ? 1 : 0);
}

/**
  Read exactly Digits decimal digits from Text; advances Text.
**/
BOOLEAN
TakeDigits (
  IN OUT CONST CHAR8  **Text,
  IN     UINTN        Digits,
  OUT    UINT32       *Value
  )
{
  *Value = 0;
  for (UINTN Index = 0; Index < Digits; Index++) {
    CHAR8  Char = (*Text)[0];
    if ((Char < '0') || (Char > '9')) {
      return FALSE;
    }

    *Value = *Value * 10 + static_cast<UINT32>(Char - '0');
    (*Text)++;
  }

  return TRUE;
}

BOOLEAN
TakeChar (
  IN OUT CONST CHAR8  **Text,
  IN     CHAR8        Char
  )
{
  if ((*Text)[0] != Char) {
    return FALSE;
  }

  (*Text)++;
  return TRUE;
}

VOID
AddTwoDigits (
  IN OUT FRU_LINE  *Line,
  IN     UINT32    Value
  )
{
  FruLineAddChar (Line, static_cast<CHAR8>('0' + (Value / 10) % 10));
  FruLineAddChar (Line, static_cast<CHAR8>('0' + Value % 10));
}

/**
  Whether 6-bit packed ASCII holds Value exactly: every character in 0x20-0x5F,
  and the byte count decodes back to the same number of characters.
**/
BOOLEAN
Fits6Bit (
  IN CONST CHAR8  *Value,
  IN UINTN        Length
  )
{
  for (UINTN Index = 0; Index < Length; Index++) {
    UINT8  Char = static_cast<UINT8>(Value[Index]);
    if ((Char < 0x20) || (Char > 0x5F)) {
      return FALSE;
    }
  }

  UINTN  Bytes = (Length * 6 + 7) / 8;
  return (Bytes <= FRU_MAX_FIELD_BYTES) && ((Bytes * 8) / 6 == Length);
}

VOID
Encode6Bit (
  IN  CONST CHAR8        *Value,
  IN  UINTN              Length,
  OUT FRU_ENCODED_FIELD  *Field
  )
{
  UINTN  Bytes = (Length * 6 + 7) / 8;

  for (UINTN Index = 0; Index < Bytes; Index++) {
    Field->Bytes[1 + Index] = 0;
  }

  for (UINTN Index = 0; Index < Length; Index++) {
    UINT32  Code = static_cast<UINT32>(static_cast<UINT8>(Value[Index]) - 0x20);
    UINTN   Bit  = Index * 6;
    Field->Bytes[1 + Bit / 8] = static_cast<UINT8>(Field->Bytes[1 + Bit / 8] | (Code << (Bit % 8)));
    if ((Bit % 8) > 2) {
      Field->Bytes[2 + Bit / 8] = static_cast<UINT8>(Field->Bytes[2 + Bit / 8] | (Code >> (8 - Bit % 8)));
    }
  }

  Field->Bytes[0] = static_cast<UINT8>((FRU_TYPE_6BIT << 6) | Bytes);
  Field->Size     = 1 + Bytes;
}

}  // namespace

VOID
FruLineAddFieldValue (
  IN OUT FRU_LINE         *Line,
  IN     CONST UINT8      *Data,
  IN     CONST FRU_FIELD  *Field
  )
{
  CONST UINT8  *Bytes = Data + Field->Offset + 1;

  switch (Field->Type) {
    case FRU_TYPE_BINARY:
      if (Field->Length > 0) {
        FruLineAdd (Line, "0x");
      }

      for (UINTN Index = 0; Index < Field->Length; Index++) {
        FruLineAddHex (Line, Bytes[Index], 2);
      }

      break;

    case FRU_TYPE_BCD_PLUS:
      for (UINTN Index = 0; Index < Field->Length; Index++) {
        FruLineAddChar (Line, mBcdPlus[Bytes[Index] >> 4]);
        FruLineAddChar (Line, mBcdPlus[Bytes[Index] & 0xF]);
      }

      break;

    case FRU_TYPE_6BIT:
      for (UINTN Index = 0; Index < (Field->Length * 8u) / 6; Index++) {
        UINTN   Bit  = Index * 6;
        UINT32  Code = static_cast<UINT32>(Bytes[Bit / 8]) >> (Bit % 8);
        if (((Bit % 8) > 2) && (Bit / 8 + 1 < Field->Length)) {
          Code |= static_cast<UINT32>(Bytes[Bit / 8 + 1]) << (8 - Bit % 8);
        }

        CHAR8  Char = static_cast<CHAR8>((Code & 0x3F) + 0x20);
        if (Char == '\\') {
          FruLineAdd (Line, "\\x5C");
        } else {
          FruLineAddChar (Line, Char);
        }
      }

      break;

    default:
      for (UINTN Index = 0; Index < Field->Length; Index++) {
        UINT8  Byte = Bytes[Index];
        if ((Byte >= 0x20) && (Byte < 0x7F) && (Byte != '\\')) {
          FruLineAddChar (Line, static_cast<CHAR8>(Byte));
        } else {
          FruLineAdd (Line, "\\x");
          FruLineAddHex (Line, Byte, 2);
        }
      }

      break;
  }
}

FRU_STATUS
FruEncodeValue (
  IN  CONST CHAR8        *Value,
  IN  UINT8              OldType,
  OUT FRU_ENCODED_FIELD  *Field
  )
{
  UINTN  Length = FruStrLen (Value);

  Field->Size = 0;
  if (Length == 0) {
    Field->Bytes[0] = static_cast<UINT8>(FRU_TYPE_8BIT << 6);
    Field->Size     = 1;
    return FruOk;
  }

  if ((Length > 2) && (Value[0] == '0') && ((Value[1] == 'x') || (Value[1] == 'X')) && (Length % 2 == 0)) {
    UINTN    Bytes = (Length - 2) / 2;
    BOOLEAN  Hex   = Bytes <= FRU_MAX_FIELD_BYTES;
    for (UINTN Index = 0; Hex && (Index < Bytes); Index++) {
      INT32  High = HexDigit (Value[2 + 2 * Index]);
      INT32  Low  = HexDigit (Value[3 + 2 * Index]);
      Hex = (High >= 0) && (Low >= 0);
      Field->Bytes[1 + Index] = static_cast<UINT8>((High << 4) | (Low & 0xF));
    }

    if (Hex) {
      Field->Bytes[0] = static_cast<UINT8>((FRU_TYPE_BINARY << 6) | Bytes);
      Field->Size     = 1 + Bytes;
      return FruOk;
    }
  }

  if ((OldType == FRU_TYPE_BCD_PLUS) && (Length % 2 == 0) && (Length / 2 <= FRU_MAX_FIELD_BYTES)) {
    BOOLEAN  Bcd = TRUE;
    for (UINTN Index = 0; Bcd && (Index < Length); Index += 2) {
      INT32  High = BcdCode (Value[Index]);
      INT32  Low  = BcdCode (Value[Index + 1]);
      Bcd = (High >= 0) && (Low >= 0);
      Field->Bytes[1 + Index / 2] = static_cast<UINT8>((High << 4) | (Low & 0xF));
    }

    if (Bcd) {
      Field->Bytes[0] = static_cast<UINT8>((FRU_TYPE_BCD_PLUS << 6) | (Length / 2));
      Field->Size     = 1 + Length / 2;
      return FruOk;
    }
  }

  BOOLEAN  SixBit = Fits6Bit (Value, Length);
  if (SixBit && ((OldType == FRU_TYPE_6BIT) || (Length == 1) || (Length > FRU_MAX_FIELD_BYTES))) {
    Encode6Bit (Value, Length, Field);
    return FruOk;
  }

  if ((Length == 1) || (Length > FRU_MAX_FIELD_BYTES)) {
    return FruErrBadValue;
  }

  Field->Bytes[0] = static_cast<UINT8>((FRU_TYPE_8BIT << 6) | Length);
  for (UINTN Index = 0; Index < Length; Index++) {
    Field->Bytes[1 + Index] = static_cast<UINT8>(Value[Index]);
  }

  Field->Size = 1 + Length;
  return FruOk;
}

VOID
FruLineAddDate (
  IN OUT FRU_LINE  *Line,
  IN     UINT32    Minutes
  )
{
  INT64   Year;
  UINT32  Month;
  UINT32  Day;

  if (Minutes == 0) {
    FruLineAdd (Line, "unspecified");
    return;
  }

  CivilFromDays (DAYS_TO_1996 + Minutes / 1440, &Year, &Month, &Day);
  FruLineAddDec (Line, static_cast<UINT64>(Year));
  FruLineAddChar (Line, '-');
  AddTwoDigits (Line, Month);
  FruLineAddChar (Line, '-');
  AddTwoDigits (Line, Day);
  FruLineAddChar (Line, ' ');
  AddTwoDigits (Line, (Minutes % 1440) / 60);
  FruLineAddChar (Line, ':');
  AddTwoDigits (Line, Minutes % 60);
}

BOOLEAN
FruParseDate (
  IN  CONST CHAR8  *Text,
  OUT UINT32       *Minutes
  )
{
  UINT32  Year, Month, Day, Hour, Minute;

  if (FruStrEq (Text, "unspecified")) {
    *Minutes = 0;
    return TRUE;
  }

  if (!TakeDigits (&Text, 4, &Year) || !TakeChar (&Text, '-') || !TakeDigits (&Text, 2, &Month) ||
      !TakeChar (&Text, '-') || !TakeDigits (&Text, 2, &Day) || !TakeChar (&Text, ' ') ||
      !TakeDigits (&Text, 2, &Hour) || !TakeChar (&Text, ':') || !TakeDigits (&Text, 2, &Minute) ||
      (*Text != 0))
  {
    return FALSE;
  }

  if ((Month < 1) || (Month > 12) || (Day < 1) || (Hour > 23) || (Minute > 59) || (Year < 1996)) {
    return FALSE;
  }

  INT64   Days = DaysFromCivil (Year, Month, Day);
  INT64   NextMonth = (Month == 12) ? DaysFromCivil (Year + 1, 1, 1) : DaysFromCivil (Year, Month + 1, 1);
  if (Days >= NextMonth) {
    return FALSE;
  }

  INT64  Total = (Days - DAYS_TO_1996) * 1440 + static_cast<INT64>(Hour) * 60 + Minute;
  if ((Total < 0) || (Total > MAX_MINUTES)) {
    return FALSE;
  }

  *Minutes = static_cast<UINT32>(Total);
  return TRUE;
}

VOID
FruLineAddChassisType (
  IN OUT FRU_LINE  *Line,
  IN     UINT8     Type
  )
{
  FruLineAddDec (Line, Type);
  if ((Type < sizeof (mChassisTypes) / sizeof (mChassisTypes[0])) && (mChassisTypes[Type] != NULL)) {
    FruLineAdd (Line, " (");
    FruLineAdd (Line, mChassisTypes[Type]);
    FruLineAddChar (Line, ')');
  }
}
