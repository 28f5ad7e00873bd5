/** @file
  Printing the multi-record area: every record with its checksum state, the
  record types IPMI FRU defines decoded field by field, the rest as hex.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruRecords.h>

namespace {

///
/// How one decoded value is read from a record and shown.
///
enum VALUE_FORM {
  FormUnsigned,    ///< little-endian, masked, times Scale, then Unit
  FormSigned,      ///< 16-bit two's complement, times Scale, then Unit
  FormHigh4,       ///< bits 15:12 of a 16-bit value
  FormFlags,       ///< the byte in hex
  FormYesNo        ///< "yes" when a masked bit is set
};

struct RECORD_VALUE {
  CONST CHAR8    *Name;
  UINT8          Offset;
  UINT8          Size;
  UINT16         Mask;     ///< 0: all bits
  VALUE_FORM     Form;
  UINT8          Scale;
  CONST CHAR8    *Unit;
};

constexpr RECORD_VALUE  mPowerSupply[] = {
  { "capacity",               0,  2, 0x0FFF, FormUnsigned, 1,  " W"  },
  { "peak_va",                2,  2, 0,      FormUnsigned, 1,  " VA" },
  { "inrush_current",         4,  1, 0,      FormUnsigned, 1,  " A"  },
  { "inrush_interval",        5,  1, 0,      FormUnsigned, 1,  " ms" },
  { "input_low_1",            6,  2, 0,      FormUnsigned, 10, " mV" },
  { "input_high_1",           8,  2, 0,      FormUnsigned, 10, " mV" },
  { "input_low_2",            10, 2, 0,      FormUnsigned, 10, " mV" },
  { "input_high_2",           12, 2, 0,      FormUnsigned, 10, " mV" },
  { "frequency_low",          14, 1, 0,      FormUnsigned, 1,  " Hz" },
  { "frequency_high",         15, 1, 0,      FormUnsigned, 1,  " Hz" },
  { "dropout_tolerance",      16, 1, 0,      FormUnsigned, 1,  " ms" },
  { "flags",                  17, 1, 0,      FormFlags,    1,  ""    },
  { "peak_wattage",           18, 2, 0x0FFF, FormUnsigned, 1,  " W"  },
  { "holdup_time",            18, 2, 0,      FormHigh4,    1,  " s"  },
  { "combined_wattage",       21, 2, 0,      FormUnsigned, 1,  " W"  },
  { "tach_threshold",         23, 1, 0,      FormUnsigned, 1,  " RPS" },
};

constexpr RECORD_VALUE  mDcOutput[] = {
  { "output",                 0,  1, 0x0F,   FormUnsigned, 1,  ""    },
  { "standby",                0,  1, 0x80,   FormYesNo,    1,  ""    },
  { "nominal_voltage",        1,  2, 0,      FormSigned,   10, " mV" },
  { "negative_deviation",     3,  2, 0,      FormSigned,   10, " mV" },
  { "positive_deviation",     5,  2, 0,      FormSigned,   10, " mV" },
  { "ripple",                 7,  2, 0,      FormUnsigned, 1,  " mV" },
  { "current_min",            9,  2, 0,      FormUnsigned, 1,  " mA" },
  { "current_max",            11, 2, 0,      FormUnsigned, 1,  " mA" },
};

constexpr RECORD_VALUE  mDcLoad[] = {
  { "output",                 0,  1, 0x0F,   FormUnsigned, 1,  ""    },
  { "nominal_voltage",        1,  2, 0,      FormSigned,   10, " mV" },
  { "voltage_min",            3,  2, 0,      FormSigned,   10, " mV" },
  { "voltage_max",            5,  2, 0,      FormSigned,   10, " mV" },
  { "ripple",                 7,  2, 0,      FormUnsigned, 1,  " mV" },
  { "current_min",            9,  2, 0,      FormUnsigned, 1,  " mA" },
  { "current_max",            11, 2, 0,      FormUnsigned, 1,  " mA" },
};

constexpr RECORD_VALUE  mCompatibility[] = {
  { "manufacturer_id",        0,  3, 0,      FormUnsigned, 1,  ""    },
  { "entity_id",              3,  1, 0,      FormFlags,    1,  ""    },
  { "compatibility_base",     4,  1, 0,      FormFlags,    1,  ""    },
  { "code_start",             5,  1, 0,      FormFlags,    1,  ""    },
};

constexpr RECORD_VALUE  mOem[] = {
  { "manufacturer_id",        0,  3, 0,      FormUnsigned, 1,  ""    },
};

struct RECORD_KIND {
  UINT8                 Type;
  CONST CHAR8           *Name;
  CONST RECORD_VALUE    *Values;
  UINT8                 Count;
  UINT8                 Needs;    ///< data bytes the decoded values need
  BOOLEAN               Exact;    ///< the layout has exactly Needs bytes
};

template <UINTN N>
constexpr RECORD_KIND
Kind (UINT8 Type, CONST CHAR8 *Name, CONST RECORD_VALUE (&Values)[N], UINT8 Needs, BOOLEAN Exact)
{
  return { Type, Name, Values, static_cast<UINT8>(N), Needs, Exact };
}

constexpr RECORD_KIND  mKinds[] = {
  Kind (0x00, "power supply", mPowerSupply, 24, TRUE),
  Kind (0x01, "DC output", mDcOutput, 13, TRUE),
  Kind (0x02, "DC load", mDcLoad, 13, TRUE),
  { 0x03, "management access", nullptr, 0, 1, FALSE },
  Kind (0x04, "base compatibility", mCompatibility, 6, FALSE),
  Kind (0x05, "extended compatibility", mCompatibility, 6, FALSE),
  { 0x06, "ASF fixed SMBus device", nullptr, 0, 0, FALSE },
  { 0x07, "ASF legacy-device alerts", nullptr, 0, 0, FALSE },
};

constexpr RECORD_KIND  mOemKind = Kind (0xC0, "OEM", mOem, 3, FALSE);

CONST CHAR8 *CONST  mAccessKinds[] = {
  "system management URL", "system name", "system ping address",
  "component management URL", "component name", "component ping address", "system unique ID"
};

CONST RECORD_KIND *
FindKind (
  IN UINT8  Type
  )
{
  for (CONST RECORD_KIND &Kind : mKinds) {
    if (Kind.Type == Type) {
      return &Kind;
    }
  }

  return (Type >= 0xC0) ? &mOemKind : nullptr;
}

VOID
StartRecordLine (
  OUT FRU_LINE     *Line,
  IN  UINTN        Number,
  IN  CONST CHAR8  *Name
  )
{
  FruLineReset (Line);
  FruLineAdd (Line, "multirecord.");
  FruLineAddDec (Line, Number);
  if (Name != nullptr) {
    FruLineAddChar (Line, '.');
    FruLineAdd (Line, Name);
  }

  FruLineAdd (Line, ": ");
}

VOID
AddHexBytes (
  IN OUT FRU_LINE     *Line,
  IN     CONST UINT8  *Bytes,
  IN     UINTN        Count
  )
{
  for (UINTN Index = 0; Index < Count; Index++) {
    FruLineAddHex (Line, Bytes[Index], 2);
  }
}

VOID
AddValue (
  IN OUT FRU_LINE            *Line,
  IN     CONST UINT8         *Bytes,
  IN     CONST RECORD_VALUE  *Value
  )
{
  UINT32  Raw = 0;

  for (UINTN Index = 0; Index < Value->Size; Index++) {
    Raw |= static_cast<UINT32>(Bytes[Value->Offset + Index]) << (8 * Index);
  }

  if (Value->Mask != 0) {
    Raw &= Value->Mask;
  }

  switch (Value->Form) {
    case FormSigned:
      if ((Raw & 0x8000) != 0) {
        FruLineAddChar (Line, '-');
        Raw = 0x10000 - Raw;
      }

      FruLineAddDec (Line, static_cast<UINT64>(Raw) * Value->Scale);
      break;
    case FormHigh4:
      FruLineAddDec (Line, Raw >> 12);
      break;
    case FormYesNo:
      FruLineAdd (Line, (Raw != 0) ? "yes" : "no");
      break;
    case FormFlags:
      FruLineAdd (Line, "0x");
      FruLineAddHex (Line, Raw, 2);
      break;
    default:
      FruLineAddDec (Line, static_cast<UINT64>(Raw) * Value->Scale);
      break;
  }

  FruLineAdd (Line, Value->Unit);
}

/**
  The decoded lines of one record whose checksum is good.
**/
VOID
PrintDecoded (
  IN CONST UINT8       *Bytes,
  IN UINTN             Length,
  IN UINT8             Type,
  IN UINTN             Number,
  IN CONST FRU_OUTPUT  *Output
  )
{
  CONST RECORD_KIND  *Kind = FindKind (Type);
  FRU_LINE           Line;

  if ((Kind == nullptr) || ((Kind->Count == 0) && (Type != 0x03))) {
    return;
  }

  if ((Length < Kind->Needs) || (Kind->Exact && (Length != Kind->Needs))) {
    StartRecordLine (&Line, Number, "decoded");
    FruLineAdd (&Line, (Length < Kind->Needs) ? "too short for a " : "not the length of a ");
    FruLineAdd (&Line, Kind->Name);
    FruLineAdd (&Line, " record (");
    FruLineAddDec (&Line, Length);
    FruLineAdd (&Line, " of ");
    FruLineAddDec (&Line, Kind->Needs);
    FruLineAdd (&Line, " bytes)");
    FruPrintLine (Output, &Line);
    return;
  }

  if (Type == 0x03) {
    UINT8  Sub = Bytes[0];
    StartRecordLine (&Line, Number, "access");
    if ((Sub >= 1) && (Sub <= sizeof (mAccessKinds) / sizeof (mAccessKinds[0]))) {
      FruLineAdd (&Line, mAccessKinds[Sub - 1]);
    } else {
      FruLineAdd (&Line, "sub-type 0x");
      FruLineAddHex (&Line, Sub, 2);
    }

    FruLineAdd (&Line, ": ");
    for (UINTN Index = 1; Index < Length; Index++) {
      UINT8  Byte = Bytes[Index];
      if ((Sub == 7) || (Byte < 0x20) || (Byte >= 0x7F) || (Byte == '\\')) {
        if (Sub != 7) {
          FruLineAdd (&Line, "\\x");
        }

        FruLineAddHex (&Line, Byte, 2);
      } else {
        FruLineAddChar (&Line, static_cast<CHAR8>(Byte));
      }
    }

    FruPrintLine (Output, &Line);
    return;
  }

  for (UINTN Index = 0; Index < Kind->Count; Index++) {
    StartRecordLine (&Line, Number, Kind->Values[Index].Name);
    AddValue (&Line, Bytes, &Kind->Values[Index]);
    FruPrintLine (Output, &Line);
  }

  if ((Type == 0x04) || (Type == 0x05)) {
    StartRecordLine (&Line, Number, "code_mask");
    AddHexBytes (&Line, Bytes + Kind->Needs, Length - Kind->Needs);
    FruPrintLine (Output, &Line);
  }
}

}  // namespace

CONST CHAR8 *
FruRecordTypeName (
  IN UINT8  Type
  )
{
  CONST RECORD_KIND  *Kind = FindKind (Type);

  return (Kind != nullptr) ? Kind->Name : nullptr;
}

VOID
FruPrintRecords (
  IN CONST UINT8       *Data,
  IN UINTN             Limit,
  IN UINTN             Start,
  IN CONST FRU_OUTPUT  *Output
  )
{
  FRU_LINE  Line;
  UINTN     At = Start;

  for (UINTN Number = 1; ; Number++) {
    CONST UINT8  *Head = Data + At;
    if (At + FRU_RECORD_HEADER > Limit) {
      StartRecordLine (&Line, Number, nullptr);
      FruLineAdd (&Line, "the record header at ");
      FruLineAddOffset (&Line, At);
      FruLineAdd (&Line, " runs past the area's end at ");
      FruLineAddOffset (&Line, Limit);
      FruPrintLine (Output, &Line);
      return;
    }

    UINT8  HeaderSum = 0;
    for (UINTN Index = 0; Index < FRU_RECORD_HEADER; Index++) {
      HeaderSum = static_cast<UINT8>(HeaderSum + Head[Index]);
    }

    UINTN        Length  = Head[2];
    BOOLEAN      Last    = (Head[1] & FRU_RECORD_END_OF_LIST) != 0;
    BOOLEAN      Inside  = At + FRU_RECORD_HEADER + Length <= Limit;
    BOOLEAN      DataOk  = Inside && (FruChecksum (Head + FRU_RECORD_HEADER, Length) == Head[3]);
    CONST CHAR8  *Name   = FruRecordTypeName (Head[0]);

    StartRecordLine (&Line, Number, nullptr);
    FruLineAdd (&Line, (Name != nullptr) ? Name : "unassigned type");
    FruLineAdd (&Line, ", format ");
    FruLineAddDec (&Line, Head[1] & 0x0F);
    FruLineAdd (&Line, ", ");
    FruLineAddDec (&Line, Length);
    FruLineAdd (&Line, " bytes, ");
    if (HeaderSum != 0) {
      FruLineAdd (&Line, "header checksum bad: the list cannot be followed");
    } else if (!Inside) {
      FruLineAdd (&Line, "runs past the area's end at ");
      FruLineAddOffset (&Line, Limit);
    } else {
      FruLineAdd (&Line, DataOk ? "checksum ok" : "checksum bad");
    }

    if (Last) {
      FruLineAdd (&Line, ", end of list");
    }

    FruPrintLine (Output, &Line);
    StartRecordLine (&Line, Number, "type");
    FruLineAdd (&Line, "0x");
    FruLineAddHex (&Line, Head[0], 2);
    FruPrintLine (Output, &Line);
    if ((HeaderSum != 0) || !Inside) {
      return;
    }

    StartRecordLine (&Line, Number, "data");
    AddHexBytes (&Line, Head + FRU_RECORD_HEADER, Length);
    FruPrintLine (Output, &Line);
    if (DataOk) {
      PrintDecoded (Head + FRU_RECORD_HEADER, Length, Head[0], Number, Output);
    }

    if (Last) {
      return;
    }

    At += FRU_RECORD_HEADER + Length;
  }
}
