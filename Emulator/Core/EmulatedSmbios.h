/** @file
  A minimal SMBIOS protocol for the emulated board: Add, UpdateString,
  Remove and GetNext over a list of structures, with the checks EDK2's
  SmbiosDxe makes (handles in use, string numbers, the 64-character limit
  before SMBIOS 2.7). It counts the calls that change the table and keeps a
  shadow of every structure, so a test sees a caller that writes into the
  table through a GetNext pointer instead of through the protocol.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMULATED_SMBIOS_H_
#define EMULATED_SMBIOS_H_

#include <Uefi.h>
#include <Protocol/Smbios.h>

#include <string>
#include <vector>

namespace Emu {

class EmulatedSmbios {
public:
  using Bytes = std::vector<UINT8>;

  explicit EmulatedSmbios (UINT8 Major = 3, UINT8 Minor = 0);
  EmulatedSmbios (const EmulatedSmbios &) = delete;
  EmulatedSmbios &operator= (const EmulatedSmbios &) = delete;

  EFI_SMBIOS_PROTOCOL *Protocol () { return &mFace.Protocol; }

  ///
  /// A structure from its formatted area (Hdr.Length is set from its size)
  /// and its strings.
  ///
  static Bytes  Structure (UINT8 Type, UINT16 Handle, Bytes Formatted, const std::vector<std::string> &Strings);

  ///
  /// The platform's own structure, added without counting as a change.
  ///
  void          AddPlatform (const Bytes &Record);

  ///
  /// A structure kept as given, unchecked, as EDK2's SmbiosDxe keeps one
  /// whose length byte does not cover its own header.
  ///
  void          AddMalformed (const Bytes &Record);

  ///
  /// The first structure of a type, or nullptr; its string field Offset as
  /// text ("" for no string, "<bad>" for a number past its strings).
  ///
  const Bytes  *First (UINT8 Type) const;
  std::string   String (UINT8 Type, UINT8 Offset) const;
  size_t        CountOf (UINT8 Type) const;

  ///
  /// Calls of Add, Remove and UpdateString that changed the table.
  ///
  size_t        Changes () const { return mChanges; }
  size_t        Adds () const { return mAdds; }
  size_t        Removes () const { return mRemoves; }
  size_t        Updates () const { return mUpdates; }

  ///
  /// Whether some structure differs from what the protocol calls made of it.
  ///
  bool          WrittenInPlace () const;

  ///
  /// Make the next Add or UpdateString (by a caller) fail with Status.
  ///
  void          FailNextAdd (EFI_STATUS Status) { mFailAdd = Status; }
  void          FailNextUpdateString (EFI_STATUS Status) { mFailUpdateString = Status; }

private:
  struct Entry {
    UINT16    Handle;
    Bytes     Data;       ///< what GetNext hands out
    Bytes     Shadow;     ///< what the calls made
  };

  struct Face {
    EFI_SMBIOS_PROTOCOL    Protocol;
    EmulatedSmbios         *Owner;
  };

  static EmulatedSmbios *From (CONST EFI_SMBIOS_PROTOCOL *This);
  static EFI_STATUS EFIAPI  Add (CONST EFI_SMBIOS_PROTOCOL *This, EFI_HANDLE Producer, EFI_SMBIOS_HANDLE *Handle, EFI_SMBIOS_TABLE_HEADER *Record);
  static EFI_STATUS EFIAPI  UpdateString (CONST EFI_SMBIOS_PROTOCOL *This, EFI_SMBIOS_HANDLE *Handle, UINTN *StringNumber, CHAR8 *String);
  static EFI_STATUS EFIAPI  Remove (CONST EFI_SMBIOS_PROTOCOL *This, EFI_SMBIOS_HANDLE Handle);
  static EFI_STATUS EFIAPI  GetNext (CONST EFI_SMBIOS_PROTOCOL *This, EFI_SMBIOS_HANDLE *Handle, EFI_SMBIOS_TYPE *Type, EFI_SMBIOS_TABLE_HEADER **Record, EFI_HANDLE *Producer);

  EFI_STATUS    Insert (const UINT8 *Record, EFI_SMBIOS_HANDLE *Handle);
  Entry        *Find (UINT16 Handle);

  Face                mFace;
  std::vector<Entry>  mEntries;
  size_t              mChanges = 0;
  size_t              mAdds = 0;
  size_t              mRemoves = 0;
  size_t              mUpdates = 0;
  EFI_STATUS          mFailAdd = EFI_SUCCESS;
  EFI_STATUS          mFailUpdateString = EFI_SUCCESS;
};

///
/// Bytes a structure takes with its strings and closing zero, and how many
/// strings it has; 0 when it is not well formed within Limit bytes.
///
size_t  SmbiosStructureSize (const UINT8 *Record, size_t Limit, size_t *Strings = nullptr);

}

#endif
