/** @file
  print, verify and dump over a FRU image in memory.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruPrint.h>
#include <Library/FruFieldNames.h>
#include <Library/FruValue.h>
#include <Library/FruRecords.h>

namespace {

constexpr UINTN  INTERNAL_BYTES_SHOWN = 64;

VOID
PrintError (
  IN CONST FRU_OUTPUT  *Output,
  IN CONST FRU_ERROR   *Error
  )
{
  FRU_LINE  Line;

  FruLineReset (&Line);
  FruLineAdd (&Line, "error: ");
  FruLineAddError (&Line, Error);
  FruPrintLine (Output, &Line);
}

VOID
PrintInfoArea (
  IN CONST UINT8       *Data,
  IN CONST FRU_SPAN    *Span,
  IN FRU_AREA          Area,
  IN CONST FRU_OUTPUT  *Output
  )
{
  FRU_LINE  Line;

  if (Area == FruAreaChassis) {
    FruLineReset (&Line);
    FruLineAdd (&Line, "chassis.type: ");
    FruLineAddChassisType (&Line, Data[Span->Start + 2]);
    FruPrintLine (Output, &Line);
  } else if (Area == FruAreaBoard) {
    CONST UINT8  *Date = Data + Span->Start + 3;
    FruLineReset (&Line);
    FruLineAdd (&Line, "board.mfg_date: ");
    FruLineAddDate (&Line, Date[0] | (static_cast<UINT32>(Date[1]) << 8) | (static_cast<UINT32>(Date[2]) << 16));
    FruPrintLine (Output, &Line);
  }

  FRU_FIELD_CURSOR  Cursor;
  FRU_FIELD         Field;
  FruFirstField (Span, Area, &Cursor);
  while (FruNextField (Data, &Cursor, &Field)) {
    FruLineReset (&Line);
    FruLineAddFieldName (&Line, Area, Field.Index);
    FruLineAdd (&Line, ": ");
    FruLineAddFieldValue (&Line, Data, &Field);
    FruPrintLine (Output, &Line);
  }
}

VOID
PrintInternalArea (
  IN CONST UINT8       *Data,
  IN CONST FRU_SPAN    *Span,
  IN CONST FRU_OUTPUT  *Output
  )
{
  FRU_LINE  Line;
  UINTN     Shown = Span->Length - 1;

  FruLineReset (&Line);
  FruLineAdd (&Line, "internal.size: ");
  FruLineAddDec (&Line, Span->Length - 1);
  FruPrintLine (Output, &Line);

  if (Shown > INTERNAL_BYTES_SHOWN) {
    Shown = INTERNAL_BYTES_SHOWN;
  }

  FruLineReset (&Line);
  FruLineAdd (&Line, "internal.data: ");
  for (UINTN Index = 0; Index < Shown; Index++) {
    FruLineAddHex (&Line, Data[Span->Start + 1 + Index], 2);
  }

  if (Shown < Span->Length - 1u) {
    FruLineAdd (&Line, "...");
  }

  FruPrintLine (Output, &Line);
}

///
/// How an error message shows the error's Limit.
///
enum FRU_LIMIT_FORM {
  LimitNotShown,
  LimitAsOffset,
  LimitAsHexByte,
  LimitAsDecimal
};

///
/// One error's message: Before, the offset (when ShowOffset), Between, the
/// limit in its form, After.
///
struct FRU_ERROR_TEXT {
  FRU_STATUS        Status;
  CONST CHAR8       *Before;
  BOOLEAN           ShowOffset;
  CONST CHAR8       *Between;
  FRU_LIMIT_FORM    LimitForm;
  CONST CHAR8       *After;
};

constexpr FRU_ERROR_TEXT  ERROR_TEXTS[] = {
  { FruErrTruncated,            "needs the bytes up to ",                  TRUE,  " but the image ends at ",                              LimitAsOffset,  ""                                               },
  { FruErrVersion,              "format version at ",                      TRUE,  " is not ",                                             LimitAsDecimal, ""                                               },
  { FruErrChecksum,             "checksum at ",                            TRUE,  " is wrong, the bytes before it need 0x",               LimitAsHexByte, ""                                               },
  { FruErrAreaLength,           "length at ",                              TRUE,  " is 0",                                                LimitNotShown,  ""                                               },
  { FruErrOverlap,              "runs to ",                                TRUE,  ", into the next area at ",                             LimitAsOffset,  ""                                               },
  { FruErrFieldPastArea,        "field at ",                               TRUE,  " runs past the area's checksum byte at ",              LimitAsOffset,  ""                                               },
  { FruErrNoEndMarker,          "no end-of-fields byte 0xC1 between ",     TRUE,  " and the checksum byte at ",                           LimitAsOffset,  ""                                               },
  { FruErrRecordHeaderChecksum, "record header checksum at ",              TRUE,  " is wrong, the header needs 0x",                       LimitAsHexByte, ""                                               },
  { FruErrRecordChecksum,       "record checksum at ",                     TRUE,  " is wrong, the record data needs 0x",                  LimitAsHexByte, ""                                               },
  { FruErrRecordVersion,        "record format version at ",               TRUE,  " is not 2",                                            LimitNotShown,  ""                                               },
  { FruErrAreaAbsent,           "absent (offset 0 in the common header)",  FALSE, "",                                                     LimitNotShown,  ""                                               },
  { FruErrNoRoom,               "would need the bytes up to ",             TRUE,  ", but the next area or the end of the device is at ",  LimitAsOffset,  ""                                               },
  { FruErrFieldMissing,         "has ",                                    FALSE, "",                                                     LimitAsDecimal, " custom fields; only the next one can be added" },
  { FruErrBadValue,             "value cannot be encoded (at most 63 bytes; one character only if it is in 6-bit ASCII)", FALSE, "", LimitNotShown, "" },
  { FruErrUnknownName,          "unknown field name",                      FALSE, "",                                                     LimitNotShown,  ""                                               },
};

}  // namespace

VOID
FruLineAddError (
  IN OUT FRU_LINE         *Line,
  IN     CONST FRU_ERROR  *Error
  )
{
  if (Error->Area == FruAreaHeader) {
    FruLineAdd (Line, "common header: ");
  } else {
    FruLineAdd (Line, FruAreaName (Error->Area));
    FruLineAdd (Line, " area: ");
  }

  for (CONST FRU_ERROR_TEXT &Text : ERROR_TEXTS) {
    if (Text.Status != Error->Status) {
      continue;
    }

    FruLineAdd (Line, Text.Before);
    if (Text.ShowOffset) {
      FruLineAddOffset (Line, Error->Offset);
    }

    FruLineAdd (Line, Text.Between);
    switch (Text.LimitForm) {
      case LimitAsOffset:
        FruLineAddOffset (Line, Error->Limit);
        break;
      case LimitAsHexByte:
        FruLineAddHex (Line, Error->Limit, 2);
        break;
      case LimitAsDecimal:
        FruLineAddDec (Line, Error->Limit);
        break;
      default:
        break;
    }

    FruLineAdd (Line, Text.After);
    return;
  }

  FruLineAdd (Line, "error ");
  FruLineAddDec (Line, Error->Status);
}

namespace {

///
/// What print or verify shows of one area that passed its checks; the common
/// header comes first, as FruAreaHeader.
///
typedef VOID (*AREA_VISIT)(
  IN CONST UINT8       *Data,
  IN FRU_AREA          Area,
  IN CONST FRU_SPAN    *Span,
  IN CONST FRU_OUTPUT  *Output
  );

/**
  Check the common header, then every area it names, in order: an area that
  fails prints its error (and, with ShowBadRecords, the records of a failing
  multi-record area with their checksum state), one that passes goes to Visit.

  @return The number of errors printed.
**/
UINTN
CheckEachArea (
  IN CONST UINT8       *Data,
  IN UINTN             Size,
  IN CONST FRU_OUTPUT  *Output,
  IN AREA_VISIT        Visit,
  IN BOOLEAN           ShowBadRecords
  )
{
  FRU_HEADER  Header;
  FRU_ERROR   Error;
  FRU_SPAN    Span;
  UINTN       Errors = 0;

  if (FruReadHeader (Data, Size, &Header, &Error) != FruOk) {
    PrintError (Output, &Error);
    return 1;
  }

  Span.Start  = 0;
  Span.Length = FRU_HEADER_SIZE;
  Span.Limit  = FRU_HEADER_SIZE;
  Visit (Data, FruAreaHeader, &Span, Output);
  for (UINTN Index = FruAreaInternal; Index < FruAreaCount; Index++) {
    FRU_AREA  Area = static_cast<FRU_AREA>(Index);
    if (Header.Start[Area] == 0) {
      continue;
    }

    if (FruCheckArea (Data, Size, &Header, Area, &Span, &Error) != FruOk) {
      PrintError (Output, &Error);
      Errors++;
      if (ShowBadRecords && (Area == FruAreaMultiRecord) && (Span.Limit > Span.Start)) {
        FruPrintRecords (Data, Span.Limit, Span.Start, Output);
      }
    } else {
      Visit (Data, Area, &Span, Output);
    }
  }

  return Errors;
}

VOID
PrintArea (
  IN CONST UINT8       *Data,
  IN FRU_AREA          Area,
  IN CONST FRU_SPAN    *Span,
  IN CONST FRU_OUTPUT  *Output
  )
{
  if (Area == FruAreaInternal) {
    PrintInternalArea (Data, Span, Output);
  } else if (Area == FruAreaMultiRecord) {
    FruPrintRecords (Data, Span->Start + Span->Length, Span->Start, Output);
  } else if (Area != FruAreaHeader) {
    PrintInfoArea (Data, Span, Area, Output);
  }
}

VOID
SayAreaOk (
  IN CONST UINT8       *Data,
  IN FRU_AREA          Area,
  IN CONST FRU_SPAN    *Span,
  IN CONST FRU_OUTPUT  *Output
  )
{
  FRU_LINE  Line;

  (VOID)Data;
  FruLineReset (&Line);
  if (Area == FruAreaHeader) {
    FruLineAdd (&Line, "common header: ok");
  } else {
    FruLineAdd (&Line, FruAreaName (Area));
    FruLineAdd (&Line, " area at ");
    FruLineAddOffset (&Line, Span->Start);
    FruLineAdd (&Line, ", ");
    FruLineAddDec (&Line, Span->Length);
    FruLineAdd (&Line, " bytes: ok");
  }

  FruPrintLine (Output, &Line);
}

}  // namespace

UINTN
FruPrintImage (
  IN CONST UINT8       *Data,
  IN UINTN             Size,
  IN CONST FRU_OUTPUT  *Output
  )
{
  return CheckEachArea (Data, Size, Output, PrintArea, TRUE);
}

UINTN
FruVerifyImage (
  IN CONST UINT8       *Data,
  IN UINTN             Size,
  IN CONST FRU_OUTPUT  *Output
  )
{
  return CheckEachArea (Data, Size, Output, SayAreaOk, FALSE);
}

VOID
FruDumpBytes (
  IN CONST UINT8       *Data,
  IN UINTN             Size,
  IN UINTN             Base,
  IN CONST FRU_OUTPUT  *Output
  )
{
  FRU_LINE  Line;

  for (UINTN Row = 0; Row < Size; Row += 16) {
    FruLineReset (&Line);
    FruLineAddHex (&Line, Base + Row, 4);
    FruLineAddChar (&Line, ':');
    for (UINTN Column = 0; Column < 16; Column++) {
      if (Row + Column < Size) {
        FruLineAddChar (&Line, ' ');
        FruLineAddHex (&Line, Data[Row + Column], 2);
      } else {
        FruLineAdd (&Line, "   ");
      }
    }

    FruLineAdd (&Line, "  ");
    for (UINTN Column = 0; (Column < 16) && (Row + Column < Size); Column++) {
      UINT8  Byte = Data[Row + Column];
      FruLineAddChar (&Line, ((Byte >= 0x20) && (Byte < 0x7F)) ? static_cast<CHAR8>(Byte) : '.');
    }

    FruPrintLine (Output, &Line);
  }
}
