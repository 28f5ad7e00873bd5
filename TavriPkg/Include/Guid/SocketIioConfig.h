/** @file
  The SocketIioConfig setup variable and the map by which the IIO import fills
  it from the IIO source HOB.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SOCKET_IIO_CONFIG_H_
#define SOCKET_IIO_CONFIG_H_

#include <Uefi/UefiBaseType.h>
#include <Ucs2Text.h>
#include <Guid/IioSourceHob.h>

#define SOCKET_IIO_CONFIG_GUID \
  { 0xDD84017E, 0x7F52, 0x48F9, { 0xB1, 0x6E, 0x50, 0xED, 0x9E, 0x0D, 0xBE, 0x27 } }

extern EFI_GUID  gSocketIioConfigGuid;

inline constexpr UCS2_TEXT  mSocketIioConfigName = Ucs2Text (u"SocketIioConfig");
#define SOCKET_IIO_CONFIG_NAME  (mSocketIioConfigName.Text)

constexpr UINTN  SOCKET_IIO_CONFIG_SIZE = 22247;

///
/// The import runs only when this byte is 1; the import never changes it.
///
constexpr UINTN  IIO_HOB_IMPORT_SWITCH_OFFSET = 18251;
constexpr UINT8  IIO_HOB_IMPORT_ENABLED       = 1;

//
// Per-socket records in the variable.
//
constexpr UINTN  IIO_VAR_SOCKET_GROUP_A_OFFSET = 9150;    ///< eight bytes per socket
constexpr UINTN  IIO_VAR_SOCKET_RECORD_OFFSET  = 9182;    ///< a 64-byte record per socket
constexpr UINTN  IIO_VAR_SOCKET_RECORD_SIZE    = 64;      ///< eight groups of eight
constexpr UINTN  IIO_VAR_SOCKET_GROUP_C_OFFSET = 9598;    ///< eight bytes per socket

constexpr UINTN  IIO_GROUP_SIZE       = 8;
constexpr UINTN  IIO_IMPORTED_SOCKETS = 2;

///
/// One range of the copy map: for socket s, Length bytes from HOB data offset
/// HobOffset + s * HobStride go to variable offset VarOffset + s * VarStride.
///
typedef struct {
  UINT16    VarOffset;
  UINT16    VarStride;
  UINT16    HobOffset;
  UINT16    HobStride;
  UINT16    Length;
} IIO_COPY_RANGE;

constexpr IIO_COPY_RANGE  IioCopyMap[] = {
  //
  // Group A: one group of eight bytes per socket.
  //
  { IIO_VAR_SOCKET_GROUP_A_OFFSET, IIO_GROUP_SIZE, IIO_HOB_SOCKET_GROUP_A_OFFSET, IIO_GROUP_SIZE, IIO_GROUP_SIZE },
  //
  // The per-socket record: groups 1 to 7 of the variable's record take bytes
  // 1 to 56 of the HOB's record; group 0 and HOB byte 0 are left alone.
  //
  {
    IIO_VAR_SOCKET_RECORD_OFFSET + IIO_GROUP_SIZE, IIO_VAR_SOCKET_RECORD_SIZE,
    IIO_HOB_SOCKET_RECORD_OFFSET + 1, IIO_HOB_SOCKET_RECORD_SIZE,
    IIO_VAR_SOCKET_RECORD_SIZE - IIO_GROUP_SIZE
  },
  //
  // Group C: one group of eight bytes per socket.
  //
  { IIO_VAR_SOCKET_GROUP_C_OFFSET, IIO_GROUP_SIZE, IIO_HOB_SOCKET_GROUP_C_OFFSET, IIO_GROUP_SIZE, IIO_GROUP_SIZE },
};

///
/// The import reads HOB data up to this many bytes; a shorter HOB is refused.
///
constexpr UINTN
IioCopyMapHobBytes (
  VOID
  )
{
  UINTN  End = 0;

  for (const IIO_COPY_RANGE &Range : IioCopyMap) {
    UINTN  RangeEnd = Range.HobOffset + (IIO_IMPORTED_SOCKETS - 1) * Range.HobStride + Range.Length;
    End = (RangeEnd > End) ? RangeEnd : End;
  }

  return End;
}

constexpr UINTN
IioCopyMapBytes (
  VOID
  )
{
  UINTN  Total = 0;

  for (const IIO_COPY_RANGE &Range : IioCopyMap) {
    Total += IIO_IMPORTED_SOCKETS * Range.Length;
  }

  return Total;
}

constexpr UINTN  IIO_SOURCE_HOB_MIN_DATA_SIZE = IioCopyMapHobBytes ();

static_assert (IIO_HOB_SOCKET_RECORD_SIZE == 1 + 7 * IIO_GROUP_SIZE, "HOB record: a skipped byte and seven groups");
static_assert (IIO_VAR_SOCKET_RECORD_SIZE == 8 * IIO_GROUP_SIZE, "variable record: eight groups");
static_assert (IioCopyMapBytes () == 144, "the import copies 144 bytes");
static_assert (IIO_SOURCE_HOB_MIN_DATA_SIZE == 7229, "the import reads HOB data bytes 0 to 7228");
static_assert (IioCopyMap[1].VarOffset == 9190 && IioCopyMap[1].HobOffset == 6986, "record groups 1 to 7");
static_assert (IioCopyMap[2].VarOffset + IioCopyMap[2].VarStride + IioCopyMap[2].Length == 9614, "group C ends at 9613");
static_assert (IIO_HOB_IMPORT_SWITCH_OFFSET < SOCKET_IIO_CONFIG_SIZE, "switch inside the variable");

#endif
