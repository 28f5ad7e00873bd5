/** @file
  The read-only commands over a FRU image in memory: print (every field as
  `name: value`), verify (header, areas and checksums) and a hex dump, and
  the message for each FRU_ERROR. Shared by FruTool.efi and frutool.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_PRINT_H_
#define FRU_PRINT_H_

#include <Library/FruFormat.h>
#include <Library/FruText.h>

/**
  Add the message for Error, naming the area and the byte offset.
**/
VOID
FruLineAddError (
  IN OUT FRU_LINE         *Line,
  IN     CONST FRU_ERROR  *Error
  );

/**
  Print every field of every good area, one `name: value` line each, and an
  `error: ...` line for each area that fails its checks.

  @return  The number of errors found; 0 when every checksum is good.
**/
UINTN
FruPrintImage (
  IN CONST UINT8       *Data,
  IN UINTN             Size,
  IN CONST FRU_OUTPUT  *Output
  );

/**
  Check the header and every area; one line per area, ok or the error.

  @return  The number of errors found.
**/
UINTN
FruVerifyImage (
  IN CONST UINT8       *Data,
  IN UINTN             Size,
  IN CONST FRU_OUTPUT  *Output
  );

/**
  Hex dump of Size bytes, 16 a line, labelled from offset Base.
**/
VOID
FruDumpBytes (
  IN CONST UINT8       *Data,
  IN UINTN             Size,
  IN UINTN             Base,
  IN CONST FRU_OUTPUT  *Output
  );

#endif
