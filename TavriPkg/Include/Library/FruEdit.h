/** @file
  Setting one field of a FRU image in memory: the area is re-laid with the
  new value and its checksum recomputed. It keeps its length while the new
  content fits, grows into free bytes after it, and otherwise the areas after
  it (the multi-record area whole, byte for byte) move up in 8-byte units
  with the common header rewritten. Refused only when the data has no room.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_EDIT_H_
#define FRU_EDIT_H_

#include <Library/FruFieldNames.h>

///
/// The bytes a set changed: write [Start, Start + Length) back to the device.
/// When areas moved, Start is 0 and the range runs to the new end of the last.
///
typedef struct {
  UINT32    Start;
  UINT32    Length;
} FRU_CHANGE;

/**
  Set the field Name to Value in the Size bytes at Data.

  Size is every byte that may be used: the device size, or the bytes read
  past the image as room for the areas to grow. The areas after the one set
  must pass FruCheckArea when they have to move. The area must pass FruCheckArea;
  a field beyond the last one of its area is added (empty fields fill any
  fixed field in between; custom fields only as the next one).
  Nothing is changed unless FruOk is returned.
**/
FRU_STATUS
FruSetValue (
  IN OUT UINT8           *Data,
  IN     UINTN           Size,
  IN     CONST FRU_NAME  *Name,
  IN     CONST CHAR8     *Value,
  OUT    FRU_CHANGE      *Change,
  OUT    FRU_ERROR       *Error
  );

#endif
