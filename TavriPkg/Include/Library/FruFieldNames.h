/** @file
  The names every FRU tool command uses for a field: `board.serial`,
  `chassis.type`, `product.custom2` and so on, as `print` shows them.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_FIELD_NAMES_H_
#define FRU_FIELD_NAMES_H_

#include <Library/FruFormat.h>
#include <Library/FruText.h>

typedef enum {
  FruNameField,          ///< a type/length field: fixed or custom
  FruNameChassisType,    ///< the chassis type byte
  FruNameMfgDate         ///< the board's 3-byte manufacturing date/time
} FRU_NAME_KIND;

typedef struct {
  FRU_NAME_KIND    Kind;
  FRU_AREA         Area;
  UINT16           Index;   ///< field index in the area: fixed fields, then custom
} FRU_NAME;

/**
  Name of an area as printed in names and messages: "chassis", "board", ...
**/
CONST CHAR8 *
FruAreaName (
  IN FRU_AREA  Area
  );

/**
  Parse "<area>.<field>" or "<area>.custom<N>" (N from 1).
**/
BOOLEAN
FruParseName (
  IN  CONST CHAR8  *Text,
  OUT FRU_NAME     *Name
  );

/**
  Add the name of field Index of an info area to Line.
**/
VOID
FruLineAddFieldName (
  IN OUT FRU_LINE  *Line,
  IN     FRU_AREA  Area,
  IN     UINTN     Index
  );

#endif
