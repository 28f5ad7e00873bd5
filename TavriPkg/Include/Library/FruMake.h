/** @file
  A FRU image made from a plain text description, one `name = value` a
  line, with the names print uses:

    chassis.type = 23              board.mfg_date = 2024-05-01 08:00
    board.serial = ${SERIAL}       product.custom1 = line 7
    board.size = 128               (an area's length in bytes, at least)
    internal.data = 0102AABB       (hex)
    multirecord.1.type = 0x01      multirecord.1.data = 81B004...  (hex)
    image.size = 1024              (the image padded to the device's size)

  `#` starts a comment line; a value may be put in double quotes to keep
  spaces at its ends; `${NAME}` in a value is replaced by what Lookup gives
  for NAME. Areas are laid out in the usual order (internal, chassis, board,
  product, multi-record), each named area with all of its fixed fields.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_MAKE_H_
#define FRU_MAKE_H_

#include <Library/FruFieldNames.h>

constexpr UINTN  FRU_MAKE_VALUE_MAX   = 600;   ///< a value after ${NAME} replacement
constexpr UINTN  FRU_MAKE_MAX_RECORDS = 32;

/**
  The value of the variable Name (NameLength characters, not terminated),
  or NULL when it is not set.
**/
typedef CONST CHAR8 *(*FRU_LOOKUP)(VOID *Context, CONST CHAR8 *Name, UINTN NameLength);

typedef struct {
  UINT32         Line;       ///< 1-based line of the description; 0 for the whole
  CONST CHAR8    *Message;   ///< what is wrong, or NULL when Fru says it
  FRU_ERROR      Fru;        ///< the library's error for a value that could not be set
  CHAR8          Name[48];   ///< the name or variable the message is about
} FRU_MAKE_ERROR;

/**
  Make the image the description Text (TextSize bytes) describes into Image.

  @param[out] Size  The image's length: the end of its last area, or
                    image.size when given.

  @retval FruOk  Image holds an image that passes every check.
  @retval other  Nothing usable in Image; Error names the line and the cause.
**/
FRU_STATUS
FruMakeImage (
  IN  CONST CHAR8     *Text,
  IN  UINTN           TextSize,
  IN  FRU_LOOKUP      Lookup,
  IN  VOID            *Context,
  OUT UINT8           *Image,
  IN  UINTN           Capacity,
  OUT UINTN           *Size,
  OUT FRU_MAKE_ERROR  *Error
  );

/**
  Add "line N: " and the message for Error.
**/
VOID
FruLineAddMakeError (
  IN OUT FRU_LINE              *Line,
  IN     CONST FRU_MAKE_ERROR  *Error
  );

#endif
