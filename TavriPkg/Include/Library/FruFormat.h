/** @file
  The IPMI FRU information format: common header, internal use, chassis,
  board and product info areas, and the multi-record area.

  The decoder works on bytes already read into memory and never reads outside
  them: every length in the image is checked against its area and against the
  bytes given before it is used. The same sources build into FruTool.efi (no
  C library, no heap) and into the host command, so nothing here allocates,
  throws or calls the C library.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_FORMAT_H_
#define FRU_FORMAT_H_

#include <Uefi/UefiBaseType.h>

constexpr UINTN  FRU_HEADER_SIZE       = 8;
constexpr UINTN  FRU_MAX_IMAGE_SIZE    = 0x10000;   ///< FRU offsets are 16 bits
constexpr UINTN  FRU_MAX_AREA_SIZE     = UINTN (255) * 8;   ///< length byte in multiples of 8
constexpr UINTN  FRU_MAX_FIELD_BYTES   = 63;        ///< 6-bit length of a type/length byte
constexpr UINTN  FRU_RECORD_HEADER     = 5;
constexpr UINT8  FRU_END_OF_FIELDS     = 0xC1;
constexpr UINT8  FRU_FORMAT_VERSION    = 0x01;
constexpr UINT8  FRU_RECORD_VERSION    = 0x02;
constexpr UINT8  FRU_RECORD_END_OF_LIST = 0x80;

///
/// Type codes of a type/length byte (bits 7:6).
///
constexpr UINT8  FRU_TYPE_BINARY    = 0;
constexpr UINT8  FRU_TYPE_BCD_PLUS  = 1;
constexpr UINT8  FRU_TYPE_6BIT      = 2;
constexpr UINT8  FRU_TYPE_8BIT      = 3;

typedef enum {
  FruAreaHeader,
  FruAreaInternal,
  FruAreaChassis,
  FruAreaBoard,
  FruAreaProduct,
  FruAreaMultiRecord,
  FruAreaCount
} FRU_AREA;

typedef enum {
  FruOk,
  FruErrTruncated,            ///< needs bytes past the end of the data
  FruErrVersion,              ///< format version is not the one this tool reads
  FruErrChecksum,             ///< a zero-sum checksum does not add up
  FruErrAreaLength,           ///< an info area of length 0
  FruErrOverlap,              ///< an area runs into the next area
  FruErrFieldPastArea,        ///< a field runs into the area's checksum byte
  FruErrNoEndMarker,          ///< no 0xC1 before the area's checksum byte
  FruErrRecordHeaderChecksum,
  FruErrRecordChecksum,
  FruErrRecordVersion,
  FruErrAreaAbsent,           ///< the header gives no offset for the area
  FruErrUnknownName,
  FruErrBadValue,
  FruErrNoRoom,               ///< the re-laid area would not fit
  FruErrFieldMissing          ///< a custom field beyond the next free one
} FRU_STATUS;

///
/// What went wrong, where: the area and the byte offset in the image.
///
typedef struct {
  FRU_STATUS    Status;
  FRU_AREA      Area;
  UINT32        Offset;
  UINT32        Limit;      ///< the bound that was crossed, or the expected value
} FRU_ERROR;

/**
  Fill in an error and return its status.
**/
inline FRU_STATUS
FruFail (
  OUT FRU_ERROR  *Error,
  IN  FRU_STATUS Status,
  IN  FRU_AREA   Area,
  IN  UINTN      Offset,
  IN  UINTN      Limit
  )
{
  Error->Status = Status;
  Error->Area   = Area;
  Error->Offset = static_cast<UINT32>(Offset);
  Error->Limit  = static_cast<UINT32>(Limit);
  return Status;
}

///
/// The common header, decoded: the start of each area in bytes, 0 if absent.
///
typedef struct {
  UINT32    Start[FruAreaCount];
} FRU_HEADER;

///
/// Bytes an area takes: [Start, Start + Length). Limit is where the next area
/// starts, or the end of the data for the last one.
///
typedef struct {
  UINT32    Start;
  UINT32    Length;
  UINT32    Limit;
} FRU_SPAN;

///
/// One field of an info area, as the type/length byte at Offset gives it.
///
typedef struct {
  UINT32    Offset;
  UINT8     Type;
  UINT8     Length;
  UINT16    Index;    ///< 0-based: the fixed fields first, then the custom ones
} FRU_FIELD;

typedef struct {
  UINT32    Next;
  UINT32    End;      ///< offset of the area's checksum byte
  UINT16    Index;
} FRU_FIELD_CURSOR;

///
/// One multi-record area record.
///
typedef struct {
  UINT32    Offset;
  UINT8     Type;
  UINT8     Format;     ///< end-of-list bit and format version
  UINT8     Length;
} FRU_RECORD;

/**
  Zero-sum checksum: the byte that makes the sum of Data[0..Length) and itself 0.
**/
UINT8
FruChecksum (
  IN CONST UINT8  *Data,
  IN UINTN        Length
  );

/**
  Check the common header: present, format version 1, checksum, and every
  area offset inside the data. When one is not, the error names the area the
  image ends in (or the area that is missing when the image ends exactly
  where it starts) and the nearest area start past the end.
**/
FRU_STATUS
FruReadHeader (
  IN  CONST UINT8  *Data,
  IN  UINTN        Size,
  OUT FRU_HEADER   *Header,
  OUT FRU_ERROR    *Error
  );

/**
  Check one area named by a checked header and give its span: version,
  length, checksum, every field of an info area, every record of the
  multi-record area, and that it ends before the next area starts.
  An area the header does not name gives FruErrAreaAbsent.
**/
FRU_STATUS
FruCheckArea (
  IN  CONST UINT8       *Data,
  IN  UINTN             Size,
  IN  CONST FRU_HEADER  *Header,
  IN  FRU_AREA          Area,
  OUT FRU_SPAN          *Span,
  OUT FRU_ERROR         *Error
  );

/**
  Bytes from offset 0 needed to decode everything that the first Have bytes
  point to. Reading a device, read up to this size and ask again until it
  stops growing; it never exceeds FRU_MAX_IMAGE_SIZE.
**/
UINTN
FruNeededSize (
  IN CONST UINT8  *Data,
  IN UINTN        Have
  );

/**
  Number of fixed fields of an info area before its custom fields, and the
  offset of its first field from the area start.
**/
UINTN
FruFixedFieldCount (
  IN FRU_AREA  Area
  );

UINTN
FruFirstFieldOffset (
  IN FRU_AREA  Area
  );

/**
  Walk the fields of an area checked by FruCheckArea.
**/
VOID
FruFirstField (
  IN  CONST FRU_SPAN    *Span,
  IN  FRU_AREA          Area,
  OUT FRU_FIELD_CURSOR  *Cursor
  );

BOOLEAN
FruNextField (
  IN     CONST UINT8       *Data,
  IN OUT FRU_FIELD_CURSOR  *Cursor,
  OUT    FRU_FIELD         *Field
  );

/**
  Walk the records of a checked multi-record area.
**/
BOOLEAN
FruNextRecord (
  IN     CONST UINT8     *Data,
  IN     CONST FRU_SPAN  *Span,
  IN OUT UINT32          *Offset,
  OUT    FRU_RECORD      *Record
  );

#endif
