/** @file
  Base types, status codes and calling convention of the UEFI environment.

  These are the x86-64 definitions of the UEFI specification, shared by the
  firmware image and the host build. Both builds use the Microsoft x64 calling
  convention for every function that crosses the firmware interface.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef UEFI_BASE_TYPE_H_
#define UEFI_BASE_TYPE_H_

#include <stddef.h>
#include <stdint.h>

#define EFIAPI  __attribute__((ms_abi))

#define IN
#define OUT
#define OPTIONAL
#define CONST   const
#define STATIC  static
#define VOID    void

typedef uint8_t   BOOLEAN;
typedef int8_t    INT8;
typedef uint8_t   UINT8;
typedef int16_t   INT16;
typedef uint16_t  UINT16;
typedef int32_t   INT32;
typedef uint32_t  UINT32;
typedef int64_t   INT64;
typedef uint64_t  UINT64;
typedef int64_t   INTN;
typedef uint64_t  UINTN;
typedef char      CHAR8;
typedef char16_t  CHAR16;

///
/// Byte offset of a member, usable in constant expressions, as MdePkg's
/// Base.h defines it.
///
#define OFFSET_OF(TYPE, Field)  ((UINTN) __builtin_offsetof (TYPE, Field))

#define TRUE   ((BOOLEAN)1)
#define FALSE  ((BOOLEAN)0)
#ifndef NULL
#define NULL  nullptr
#endif

typedef UINTN  EFI_STATUS;
typedef VOID   *EFI_HANDLE;
typedef VOID   *EFI_EVENT;
typedef UINTN  EFI_TPL;
typedef UINT64 EFI_PHYSICAL_ADDRESS;
typedef UINT64 EFI_VIRTUAL_ADDRESS;

static_assert (sizeof (UINTN) == 8, "x86-64 only");
static_assert (sizeof (CHAR16) == 2, "UCS-2 strings");
static_assert (sizeof (VOID *) == 8, "x86-64 only");

///
/// 128-bit buffer holding a GUID in its standard in-memory form.
///
typedef struct {
  UINT32    Data1;
  UINT16    Data2;
  UINT16    Data3;
  UINT8     Data4[8];
} EFI_GUID;

static_assert (sizeof (EFI_GUID) == 16, "EFI_GUID is 16 bytes");
static_assert (OFFSET_OF (EFI_GUID, Data4) == 8, "EFI_GUID layout");

#define MAX_BIT  0x8000000000000000ULL

constexpr EFI_STATUS
EncodeError (
  UINT64  Code
  )
{
  return MAX_BIT | Code;
}

#define EFI_ERROR(StatusCode)  (((INTN)(EFI_STATUS)(StatusCode)) < 0)

constexpr EFI_STATUS  EFI_SUCCESS              = 0;
constexpr EFI_STATUS  EFI_LOAD_ERROR           = EncodeError (1);
constexpr EFI_STATUS  EFI_INVALID_PARAMETER    = EncodeError (2);
constexpr EFI_STATUS  EFI_UNSUPPORTED          = EncodeError (3);
constexpr EFI_STATUS  EFI_BAD_BUFFER_SIZE      = EncodeError (4);
constexpr EFI_STATUS  EFI_BUFFER_TOO_SMALL     = EncodeError (5);
constexpr EFI_STATUS  EFI_NOT_READY            = EncodeError (6);
constexpr EFI_STATUS  EFI_DEVICE_ERROR         = EncodeError (7);
constexpr EFI_STATUS  EFI_WRITE_PROTECTED      = EncodeError (8);
constexpr EFI_STATUS  EFI_OUT_OF_RESOURCES     = EncodeError (9);
constexpr EFI_STATUS  EFI_VOLUME_CORRUPTED     = EncodeError (10);
constexpr EFI_STATUS  EFI_VOLUME_FULL          = EncodeError (11);
constexpr EFI_STATUS  EFI_NO_MEDIA             = EncodeError (12);
constexpr EFI_STATUS  EFI_MEDIA_CHANGED        = EncodeError (13);
constexpr EFI_STATUS  EFI_NOT_FOUND            = EncodeError (14);
constexpr EFI_STATUS  EFI_ACCESS_DENIED        = EncodeError (15);
constexpr EFI_STATUS  EFI_NO_RESPONSE          = EncodeError (16);
constexpr EFI_STATUS  EFI_NO_MAPPING           = EncodeError (17);
constexpr EFI_STATUS  EFI_TIMEOUT              = EncodeError (18);
constexpr EFI_STATUS  EFI_NOT_STARTED          = EncodeError (19);
constexpr EFI_STATUS  EFI_ALREADY_STARTED      = EncodeError (20);
constexpr EFI_STATUS  EFI_ABORTED              = EncodeError (21);
constexpr EFI_STATUS  EFI_PROTOCOL_ERROR       = EncodeError (24);
constexpr EFI_STATUS  EFI_INCOMPATIBLE_VERSION = EncodeError (25);
constexpr EFI_STATUS  EFI_SECURITY_VIOLATION   = EncodeError (26);
constexpr EFI_STATUS  EFI_CRC_ERROR            = EncodeError (27);

constexpr EFI_STATUS  EFI_WARN_UNKNOWN_GLYPH    = 1;
constexpr EFI_STATUS  EFI_WARN_DELETE_FAILURE   = 2;
constexpr EFI_STATUS  EFI_WARN_WRITE_FAILURE    = 3;
constexpr EFI_STATUS  EFI_WARN_BUFFER_TOO_SMALL = 4;
constexpr EFI_STATUS  EFI_WARN_STALE_DATA       = 5;

static_assert (EFI_INVALID_PARAMETER == 0x8000000000000002ULL, "status encoding");
static_assert (EFI_WRITE_PROTECTED == 0x8000000000000008ULL, "status encoding");
static_assert (EFI_TIMEOUT == 0x8000000000000012ULL, "status encoding");
static_assert (EFI_ERROR (EFI_DEVICE_ERROR) && !EFI_ERROR (EFI_WARN_STALE_DATA), "error test");

#endif
