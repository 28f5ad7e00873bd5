/** @file
  Reading a FRU description: its `name = value` lines one by one, what each
  name stands for, ${NAME} replacement and hex values. Inside the FRU format
  library only; FruMake.h is the public side.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_DESCRIPTION_H_
#define FRU_DESCRIPTION_H_

#include <Library/FruMake.h>

typedef enum {
  NameUnknown,
  NameField,           ///< a field, the chassis type or the date: FRU_NAME
  NameAreaSize,
  NameInternalData,
  NameRecordType,
  NameRecordData,
  NameImageSize
} NAME_CLASS;

typedef struct {
  CONST CHAR8    *Name;
  UINTN          NameLength;
  CONST CHAR8    *Value;
  UINTN          ValueLength;
  UINT32         Number;
  NAME_CLASS     Class;
  FRU_NAME       Field;
  FRU_AREA       Area;      ///< of NameAreaSize
  UINTN          Record;    ///< 1-based, of NameRecordType/Data
} DESC_LINE;

typedef struct {
  CONST CHAR8    *Text;
  UINTN          Size;
  UINTN          At;
  UINT32         Number;
} DESC_CURSOR;

///
/// The value last expanded, and the bytes last parsed from hex.
///
extern CHAR8  gDescValue[FRU_MAKE_VALUE_MAX];
extern UINT8  gDescBytes[FRU_MAX_AREA_SIZE];

/**
  Fill in Error for Line (Name, NameLength: what the message is about).
**/
FRU_STATUS
DescFail (
  OUT FRU_MAKE_ERROR  *Error,
  IN  UINT32          Line,
  IN  CONST CHAR8     *Message,
  IN  CONST CHAR8     *Name,
  IN  UINTN           NameLength
  );

/**
  The next `name = value` line, classified; FALSE at the end. A line without
  `=` or with a name nothing stands for comes back as NameUnknown.
**/
BOOLEAN
DescNextLine (
  IN OUT DESC_CURSOR  *Cursor,
  OUT    DESC_LINE    *Line
  );

/**
  The value of Line into gDescValue with every ${NAME} replaced.
**/
FRU_STATUS
DescExpand (
  IN  CONST DESC_LINE  *Line,
  IN  FRU_LOOKUP       Lookup,
  IN  VOID             *Context,
  OUT FRU_MAKE_ERROR   *Error
  );

/**
  gDescValue as hex bytes (an optional 0x, then pairs of digits) into
  gDescBytes, at most Capacity of them.
**/
BOOLEAN
DescValueAsHex (
  IN  UINTN  Capacity,
  OUT UINTN  *Count
  );

#endif
