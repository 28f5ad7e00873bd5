/** @file
  The emulated board's SMBIOS protocol.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EmulatedSmbios.h"

#include <cstring>

namespace Emu {

namespace {

constexpr size_t  MAX_RECORD = 0x10000;

}  // namespace

size_t
SmbiosStructureSize (const UINT8 *Record, size_t Limit, size_t *Strings)
{
  size_t  Count = 0;
  size_t  At    = Record[1];

  if ((At < sizeof (SMBIOS_STRUCTURE)) || (At + 2 > Limit)) {
    return 0;
  }

  if (Record[At] == 0) {
    if (Record[At + 1] != 0) {
      return 0;
    }

    At += 2;
  } else {
    for ( ; ;) {
      while ((At < Limit) && (Record[At] != 0)) {
        At++;
      }

      if (At + 1 >= Limit) {
        return 0;
      }

      Count++;
      At++;
      if (Record[At] == 0) {
        At++;
        break;
      }
    }
  }

  if (Strings != nullptr) {
    *Strings = Count;
  }

  return At;
}

EmulatedSmbios::EmulatedSmbios (UINT8 Major, UINT8 Minor)
{
  mFace.Protocol.Add          = Add;
  mFace.Protocol.UpdateString = UpdateString;
  mFace.Protocol.Remove       = Remove;
  mFace.Protocol.GetNext      = GetNext;
  mFace.Protocol.MajorVersion = Major;
  mFace.Protocol.MinorVersion = Minor;
  mFace.Owner                 = this;
}

EmulatedSmbios::Bytes
EmulatedSmbios::Structure (UINT8 Type, UINT16 Handle, Bytes Formatted, const std::vector<std::string> &Strings)
{
  Formatted.resize (Formatted.size () < 4 ? 4 : Formatted.size ());
  Formatted[0] = Type;
  Formatted[1] = static_cast<UINT8>(Formatted.size ());
  Formatted[2] = static_cast<UINT8>(Handle);
  Formatted[3] = static_cast<UINT8>(Handle >> 8);
  for (const std::string &S : Strings) {
    Formatted.insert (Formatted.end (), S.begin (), S.end ());
    Formatted.push_back (0);
  }

  if (Strings.empty ()) {
    Formatted.push_back (0);
  }

  Formatted.push_back (0);
  return Formatted;
}

void
EmulatedSmbios::AddPlatform (const Bytes &Record)
{
  EFI_SMBIOS_HANDLE  Handle = static_cast<UINT16>(Record[2] | (Record[3] << 8));
  (VOID)Insert (Record.data (), &Handle);
}

void
EmulatedSmbios::AddMalformed (const Bytes &Record)
{
  mEntries.push_back ({ static_cast<UINT16>(Record[2] | (Record[3] << 8)), Record, Record });
}

const EmulatedSmbios::Bytes *
EmulatedSmbios::First (UINT8 Type) const
{
  for (const Entry &E : mEntries) {
    if (E.Data[0] == Type) {
      return &E.Data;
    }
  }

  return nullptr;
}

size_t
EmulatedSmbios::CountOf (UINT8 Type) const
{
  size_t  Count = 0;

  for (const Entry &E : mEntries) {
    Count += (E.Data[0] == Type) ? 1 : 0;
  }

  return Count;
}

std::string
EmulatedSmbios::String (UINT8 Type, UINT8 Offset) const
{
  const Bytes  *Record = First (Type);
  size_t       Strings = 0;

  if ((Record == nullptr) || (Offset >= (*Record)[1])) {
    return "<none>";
  }

  SmbiosStructureSize (Record->data (), Record->size (), &Strings);
  size_t  Number = (*Record)[Offset];
  if (Number == 0) {
    return "";
  }

  if (Number > Strings) {
    return "<bad>";
  }

  const char  *Text = reinterpret_cast<const char *>(Record->data ()) + (*Record)[1];
  for (size_t Index = 1; Index < Number; Index++) {
    Text += std::strlen (Text) + 1;
  }

  return Text;
}

bool
EmulatedSmbios::WrittenInPlace () const
{
  for (const Entry &E : mEntries) {
    if (E.Data != E.Shadow) {
      return true;
    }
  }

  return false;
}

EmulatedSmbios *
EmulatedSmbios::From (CONST EFI_SMBIOS_PROTOCOL *This)
{
  return reinterpret_cast<const Face *>(This)->Owner;
}

EmulatedSmbios::Entry *
EmulatedSmbios::Find (UINT16 Handle)
{
  for (Entry &E : mEntries) {
    if (E.Handle == Handle) {
      return &E;
    }
  }

  return nullptr;
}

EFI_STATUS
EmulatedSmbios::Insert (const UINT8 *Record, EFI_SMBIOS_HANDLE *Handle)
{
  size_t  Size = SmbiosStructureSize (Record, MAX_RECORD);

  if (Size == 0) {
    return EFI_INVALID_PARAMETER;
  }

  if (*Handle == SMBIOS_HANDLE_PI_RESERVED) {
    UINT16  Free = 0;
    while (Find (Free) != nullptr) {
      Free++;
    }

    *Handle = Free;
  } else if ((*Handle >= SMBIOS_HANDLE_RESERVED_BEGIN) || (Find (*Handle) != nullptr)) {
    return EFI_ALREADY_STARTED;
  }

  Entry  New { *Handle, Bytes (Record, Record + Size), {} };
  New.Data[2] = static_cast<UINT8>(*Handle);
  New.Data[3] = static_cast<UINT8>(*Handle >> 8);
  New.Shadow  = New.Data;
  mEntries.push_back (New);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
EmulatedSmbios::Add (CONST EFI_SMBIOS_PROTOCOL *This, EFI_HANDLE, EFI_SMBIOS_HANDLE *Handle, EFI_SMBIOS_TABLE_HEADER *Record)
{
  EmulatedSmbios  *Self = From (This);

  if ((Handle == nullptr) || (Record == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  if (Self->mFailAdd != EFI_SUCCESS) {
    EFI_STATUS  Status = Self->mFailAdd;
    Self->mFailAdd = EFI_SUCCESS;
    return Status;
  }

  EFI_STATUS  Status = Self->Insert (reinterpret_cast<const UINT8 *>(Record), Handle);
  if (!EFI_ERROR (Status)) {
    Self->mChanges++;
    Self->mAdds++;
  }

  return Status;
}

EFI_STATUS EFIAPI
EmulatedSmbios::UpdateString (CONST EFI_SMBIOS_PROTOCOL *This, EFI_SMBIOS_HANDLE *Handle, UINTN *StringNumber, CHAR8 *String)
{
  EmulatedSmbios  *Self = From (This);
  Entry           *E    = Self->Find (*Handle);
  size_t          Strings = 0;

  if (E == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  if (String == nullptr) {
    return EFI_ABORTED;
  }

  if (Self->mFailUpdateString != EFI_SUCCESS) {
    EFI_STATUS  Status = Self->mFailUpdateString;
    Self->mFailUpdateString = EFI_SUCCESS;
    return Status;
  }

  if (*StringNumber == 0) {
    return EFI_NOT_FOUND;
  }

  size_t  Length = std::strlen (String);
  if (((This->MajorVersion < 2) || ((This->MajorVersion == 2) && (This->MinorVersion < 7))) &&
      (Length > SMBIOS_STRING_MAX_LENGTH))
  {
    return EFI_UNSUPPORTED;
  }

  SmbiosStructureSize (E->Shadow.data (), E->Shadow.size (), &Strings);
  if (*StringNumber > Strings) {
    return EFI_NOT_FOUND;
  }

  size_t  At = E->Shadow[1];
  for (size_t Index = 1; Index < *StringNumber; Index++) {
    At += std::strlen (reinterpret_cast<const char *>(E->Shadow.data ()) + At) + 1;
  }

  size_t  Old = std::strlen (reinterpret_cast<const char *>(E->Shadow.data ()) + At);
  E->Shadow.erase (E->Shadow.begin () + At, E->Shadow.begin () + At + Old);
  E->Shadow.insert (E->Shadow.begin () + At, String, String + Length);
  E->Data = E->Shadow;
  Self->mChanges++;
  Self->mUpdates++;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
EmulatedSmbios::Remove (CONST EFI_SMBIOS_PROTOCOL *This, EFI_SMBIOS_HANDLE Handle)
{
  EmulatedSmbios  *Self = From (This);

  for (auto It = Self->mEntries.begin (); It != Self->mEntries.end (); ++It) {
    if (It->Handle == Handle) {
      Self->mEntries.erase (It);
      Self->mChanges++;
      Self->mRemoves++;
      return EFI_SUCCESS;
    }
  }

  return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI
EmulatedSmbios::GetNext (CONST EFI_SMBIOS_PROTOCOL *This, EFI_SMBIOS_HANDLE *Handle, EFI_SMBIOS_TYPE *Type, EFI_SMBIOS_TABLE_HEADER **Record, EFI_HANDLE *Producer)
{
  EmulatedSmbios  *Self  = From (This);
  size_t          Start = 0;

  if ((Handle == nullptr) || (Record == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  if (*Handle != SMBIOS_HANDLE_PI_RESERVED) {
    Start = Self->mEntries.size ();
    for (size_t Index = 0; Index < Self->mEntries.size (); Index++) {
      if (Self->mEntries[Index].Handle == *Handle) {
        Start = Index + 1;
      }
    }
  }

  for (size_t Index = Start; Index < Self->mEntries.size (); Index++) {
    Entry  &E = Self->mEntries[Index];
    if ((Type == nullptr) || (E.Data[0] == *Type)) {
      *Handle = E.Handle;
      *Record = reinterpret_cast<EFI_SMBIOS_TABLE_HEADER *>(E.Data.data ());
      if (Producer != nullptr) {
        *Producer = nullptr;
      }

      return EFI_SUCCESS;
    }
  }

  *Handle = SMBIOS_HANDLE_PI_RESERVED;
  return EFI_NOT_FOUND;
}

}
