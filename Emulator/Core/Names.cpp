/** @file
  Readable names for status codes, GUIDs, numbers and UCS-2 names.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "Names.h"

#include <Library/TavriBaseLib.h>

#include <cstdio>
#include <cstring>

namespace Emu {

bool
GuidEqual (const EFI_GUID &Left, const EFI_GUID &Right)
{
  return TavriGuidEqual (&Left, &Right) != FALSE;
}

std::string
GuidKey (const EFI_GUID &Guid)
{
  return std::string (reinterpret_cast<const char *>(&Guid), sizeof (Guid));
}

std::string
GuidName (const EFI_GUID &Guid)
{
  char  Text[48];

  std::snprintf (
    Text, sizeof (Text), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
    Guid.Data1, Guid.Data2, Guid.Data3, Guid.Data4[0], Guid.Data4[1], Guid.Data4[2],
    Guid.Data4[3], Guid.Data4[4], Guid.Data4[5], Guid.Data4[6], Guid.Data4[7]
    );
  return Text;
}

std::string
Hex (UINT64 Value, int Width)
{
  char  Text[32];

  std::snprintf (Text, sizeof (Text), "0x%0*llX", Width, static_cast<unsigned long long>(Value));
  return Text;
}

std::string
Narrow (const CHAR16 *Name)
{
  std::string  Text;

  for ( ; Name != nullptr && *Name != 0; Name++) {
    Text.push_back ((*Name < 0x80) ? static_cast<char>(*Name) : '?');
  }

  return Text;
}

std::string
HexBytes (const UINT8 *Data, size_t Size)
{
  static const char  Digits[] = "0123456789ABCDEF";
  std::string        Text;

  Text.reserve (Size * 3);
  for (size_t Index = 0; Index < Size; Index++) {
    if (Index > 0) {
      Text.push_back (' ');
    }

    Text.push_back (Digits[Data[Index] >> 4]);
    Text.push_back (Digits[Data[Index] & 0xF]);
  }

  return Text;
}

std::string
StatusName (EFI_STATUS Status)
{
  static const char *const  Errors[] = {
    "EFI_SUCCESS", "EFI_LOAD_ERROR", "EFI_INVALID_PARAMETER", "EFI_UNSUPPORTED", "EFI_BAD_BUFFER_SIZE",
    "EFI_BUFFER_TOO_SMALL", "EFI_NOT_READY", "EFI_DEVICE_ERROR", "EFI_WRITE_PROTECTED", "EFI_OUT_OF_RESOURCES",
    "EFI_VOLUME_CORRUPTED", "EFI_VOLUME_FULL", "EFI_NO_MEDIA", "EFI_MEDIA_CHANGED", "EFI_NOT_FOUND",
    "EFI_ACCESS_DENIED", "EFI_NO_RESPONSE", "EFI_NO_MAPPING", "EFI_TIMEOUT", "EFI_NOT_STARTED",
    "EFI_ALREADY_STARTED", "EFI_ABORTED", "EFI_ICMP_ERROR", "EFI_TFTP_ERROR", "EFI_PROTOCOL_ERROR",
    "EFI_INCOMPATIBLE_VERSION", "EFI_SECURITY_VIOLATION"
  };
  static const char *const  Warnings[] = {
    "EFI_SUCCESS", "EFI_WARN_UNKNOWN_GLYPH", "EFI_WARN_DELETE_FAILURE", "EFI_WARN_WRITE_FAILURE",
    "EFI_WARN_BUFFER_TOO_SMALL", "EFI_WARN_STALE_DATA"
  };
  UINT64  Code = Status & ~MAX_BIT;

  if (EFI_ERROR (Status) && (Code < sizeof (Errors) / sizeof (Errors[0]))) {
    return Errors[Code];
  }

  if (!EFI_ERROR (Status) && (Code < sizeof (Warnings) / sizeof (Warnings[0]))) {
    return Warnings[Code];
  }

  return Hex (Status);
}

}
