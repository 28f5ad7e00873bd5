/** @file
  Text for the FRU tools without a C library: a bounded line buffer, the
  callback that prints a finished line, and the few string helpers the
  commands need. Both front ends print through FRU_OUTPUT.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_TEXT_H_
#define FRU_TEXT_H_

#include <Uefi/UefiBaseType.h>

constexpr UINTN  FRU_LINE_MAX = 600;   ///< room for a record's 255 data bytes in hex

///
/// One line being built; text past FRU_LINE_MAX - 1 characters is dropped.
///
typedef struct {
  CHAR8    Text[FRU_LINE_MAX];
  UINTN    Length;
} FRU_LINE;

typedef VOID (*FRU_PRINT_LINE)(VOID *Context, CONST CHAR8 *Line);

///
/// Where finished lines go: the console of the shell, or stdout/stderr.
///
typedef struct {
  FRU_PRINT_LINE    Print;
  VOID              *Context;
} FRU_OUTPUT;

VOID
FruLineReset (
  OUT FRU_LINE  *Line
  );

VOID
FruLineAddChar (
  IN OUT FRU_LINE  *Line,
  IN     CHAR8     Char
  );

VOID
FruLineAdd (
  IN OUT FRU_LINE     *Line,
  IN     CONST CHAR8  *Text
  );

VOID
FruLineAddDec (
  IN OUT FRU_LINE  *Line,
  IN     UINT64    Value
  );

/**
  Add Value in upper-case hex, at least Digits digits, without a prefix.
**/
VOID
FruLineAddHex (
  IN OUT FRU_LINE  *Line,
  IN     UINT64    Value,
  IN     UINTN     Digits
  );

/**
  Add "0x" and Value as four hex digits: the form every offset is printed in.
**/
VOID
FruLineAddOffset (
  IN OUT FRU_LINE  *Line,
  IN     UINT64    Value
  );

VOID
FruPrintLine (
  IN CONST FRU_OUTPUT  *Output,
  IN CONST FRU_LINE    *Line
  );

UINTN
FruStrLen (
  IN CONST CHAR8  *Text
  );

BOOLEAN
FruStrEq (
  IN CONST CHAR8  *A,
  IN CONST CHAR8  *B
  );

/**
  Parse a whole string as a decimal number or, with a 0x prefix, a hex one.
  Fails on anything else and on values above Max.
**/
BOOLEAN
FruParseNumber (
  IN  CONST CHAR8  *Text,
  IN  UINT64       Max,
  OUT UINT64       *Value
  );

#endif
