/** @file
  Setting one field of a FRU image in memory: the area is re-laid with the
  new value, its length and checksum recomputed, and the change refused when
  the area would no longer end before the next area (or the end of the data).
**/

#ifndef FRU_EDIT_H_
#define FRU_EDIT_H_

#include <Library/FruFieldNames.h>

///
/// The bytes a set changed: write [Start, Start + Length) back to the device.
///
typedef struct {
  UINT32    Start;
  UINT32    Length;
} FRU_CHANGE;

/**
  Set the field Name to Value in the Size bytes at Data.

  Size is every byte that may be used: for a device, the bytes read past the
  image as room for the last area to grow. The area must pass FruCheckArea;
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
