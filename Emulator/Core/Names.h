/** @file
  How the emulated board names what it sees: status codes, GUIDs, numbers and
  UCS-2 names as readable text, and the byte-string key of a GUID.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_NAMES_H_
#define EMU_NAMES_H_

#include <Uefi.h>

#include <string>
#include <vector>

namespace Emu {

using Bytes = std::vector<UINT8>;

std::string StatusName (EFI_STATUS Status);
std::string GuidName (const EFI_GUID &Guid);
bool        GuidEqual (const EFI_GUID &Left, const EFI_GUID &Right);
std::string GuidKey (const EFI_GUID &Guid);

///
/// "0x" and upper-case hex digits, at least Width of them.
///
std::string Hex (UINT64 Value, int Width = 0);

///
/// A UCS-2 name as ASCII, '?' for anything else; "" for NULL.
///
std::string Narrow (const CHAR16 *Name);

///
/// Bytes as "0A 11 FF".
///
std::string HexBytes (const UINT8 *Data, size_t Size);

}

#endif
