/** @file
  The emulated firmware's UEFI variable store.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "VariableStore.h"
#include "EventEngine.h"
#include "FaultPlan.h"
#include "Names.h"
#include "TraceLog.h"

#include <cstring>

namespace Emu {

namespace {

size_t
Pad4 (size_t Size)
{
  return (Size + 3) & ~static_cast<size_t>(3);
}

size_t
NameChars (const CHAR16 *Name)
{
  size_t  Length = 0;

  while (Name[Length] != 0) {
    Length++;
  }

  return Length;
}

}  // namespace

VariableStore::VariableStore (TraceLog &Log, FaultPlan &Faults, EventEngine &Events)
  : mTrace (Log), mFaults (Faults), mEvents (Events)
{
}

size_t
VariableStore::RecordSize (size_t Chars, size_t DataSize)
{
  return HEADER_SIZE + Pad4 ((Chars + 1) * sizeof (CHAR16)) + Pad4 (DataSize);
}

size_t
VariableStore::Used (bool NonVolatile) const
{
  size_t  Total = 0;

  for (const auto &Entry : mVariables) {
    if (((Entry.second.Attributes & EFI_VARIABLE_NON_VOLATILE) != 0) == NonVolatile) {
      Total += RecordSize (Entry.first.first.size (), Entry.second.Data.size ());
    }
  }

  return Total;
}

void
VariableStore::Put (const std::u16string &Name, const EFI_GUID &Guid, UINT32 Attributes, const Bytes &Data)
{
  mVariables[{ Name, GuidKey (Guid) }] = Variable { Attributes, Data };
}

const Variable *
VariableStore::Find (const std::u16string &Name, const EFI_GUID &Guid) const
{
  auto  It = mVariables.find ({ Name, GuidKey (Guid) });

  return (It == mVariables.end ()) ? nullptr : &It->second;
}

void
VariableStore::Delete (const std::u16string &Name, const EFI_GUID &Guid)
{
  mVariables.erase ({ Name, GuidKey (Guid) });
}

void
VariableStore::Lock (const std::u16string &Name, const EFI_GUID &Guid)
{
  mLocked.insert ({ Name, GuidKey (Guid) });
}

void
VariableStore::DropVolatile ()
{
  for (auto It = mVariables.begin (); It != mVariables.end (); ) {
    It = ((It->second.Attributes & EFI_VARIABLE_NON_VOLATILE) == 0) ? mVariables.erase (It) : std::next (It);
  }
}

EFI_STATUS
VariableStore::GetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 *Attributes, UINTN *DataSize, VOID *Data)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = mFaults.Take ("GetVariable", Name, &Injected);
  std::string  Detail   = Narrow (Name) + " size=" + ((DataSize != nullptr) ? std::to_string (*DataSize) : "NULL");
  UINT64       InSize   = (DataSize != nullptr) ? *DataSize : 0;

  mEvents.RequireTplAtMost ("GetVariable", TPL_CALLBACK);
  if (Faulted && EFI_ERROR (Injected)) {
    mTrace.Record ("GetVariable", Detail + " -> " + StatusName (Injected), InSize, 0, Injected);
    return Injected;
  }

  if ((Name == nullptr) || (Guid == nullptr) || (DataSize == nullptr)) {
    mTrace.Record ("GetVariable", Detail + " -> EFI_INVALID_PARAMETER", InSize, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  const Variable  *Var = (*Name == 0) ? nullptr : Find (Name, *Guid);
  if (Var == nullptr) {
    mTrace.Record ("GetVariable", Detail + " -> EFI_NOT_FOUND", InSize, 0, EFI_NOT_FOUND);
    return EFI_NOT_FOUND;
  }

  if (*DataSize < Var->Data.size ()) {
    *DataSize = Var->Data.size ();
    mTrace.Record ("GetVariable", Detail + " -> EFI_BUFFER_TOO_SMALL need " + std::to_string (*DataSize), InSize, *DataSize, EFI_BUFFER_TOO_SMALL);
    return EFI_BUFFER_TOO_SMALL;
  }

  if ((Data == nullptr) && !Var->Data.empty ()) {
    mTrace.Record ("GetVariable", Detail + " -> EFI_INVALID_PARAMETER", InSize, 0, EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  if (!Var->Data.empty ()) {
    std::memcpy (Data, Var->Data.data (), Var->Data.size ());
  }

  *DataSize = Var->Data.size ();
  if (Attributes != nullptr) {
    *Attributes = Var->Attributes;
  }

  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  mTrace.Record ("GetVariable", Detail + " -> " + StatusName (Status) + " got " + std::to_string (*DataSize), InSize, *DataSize, Status);
  return Status;
}

EFI_STATUS
VariableStore::SetVariable (const CHAR16 *Name, const EFI_GUID *Guid, UINT32 Attributes, UINTN DataSize, const VOID *Data)
{
  EFI_STATUS   Injected = EFI_SUCCESS;
  bool         Faulted  = mFaults.Take ("SetVariable", Name, &Injected);
  std::string  Detail   = Narrow (Name) + " attr=" + Hex (Attributes) + " size=" + std::to_string (DataSize);
  EFI_STATUS   Refusal  = EFI_SUCCESS;
  std::string  Why;

  mEvents.RequireTplAtMost ("SetVariable", TPL_CALLBACK);
  if (Faulted && EFI_ERROR (Injected)) {
    mTrace.Record ("SetVariable", Detail + " -> " + StatusName (Injected), DataSize, Attributes, Injected);
    return Injected;
  }

  bool  Delete = (DataSize == 0) || ((Attributes & (EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)) == 0);
  if ((Name == nullptr) || (Guid == nullptr) || (*Name == 0) || ((DataSize != 0) && (Data == nullptr)) ||
      (((Attributes & EFI_VARIABLE_RUNTIME_ACCESS) != 0) && ((Attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS) == 0)))
  {
    Refusal = EFI_INVALID_PARAMETER;
  } else if (!Delete && ((NameChars (Name) + 1) * sizeof (CHAR16) + DataSize > mLimits.MaxVariableSize - HEADER_SIZE)) {
    Refusal = EFI_INVALID_PARAMETER;
    Why     = " larger than the maximum variable size";
  } else if (mLocked.count ({ Name, GuidKey (*Guid) }) != 0) {
    Refusal = EFI_WRITE_PROTECTED;
    Why     = " locked";
  }

  const Variable  *Existing = (Refusal == EFI_SUCCESS) ? Find (Name, *Guid) : nullptr;
  if ((Refusal == EFI_SUCCESS) && Delete && (Existing == nullptr)) {
    Refusal = EFI_NOT_FOUND;
    Why     = " delete";
  } else if ((Refusal == EFI_SUCCESS) && !Delete && (Existing != nullptr) && (Existing->Attributes != Attributes)) {
    Refusal = EFI_INVALID_PARAMETER;
    Why     = " attributes differ";
  } else if ((Refusal == EFI_SUCCESS) && !Delete) {
    bool    NonVolatile = (Attributes & EFI_VARIABLE_NON_VOLATILE) != 0;
    size_t  Chars       = NameChars (Name);
    size_t  After       = Used (NonVolatile) + RecordSize (Chars, DataSize) -
                          ((Existing != nullptr) ? RecordSize (Chars, Existing->Data.size ()) : 0);
    if (After > mLimits.StoreSize - STORE_HEADER_SIZE) {
      Refusal = EFI_OUT_OF_RESOURCES;
      Why     = " store full";
    }
  }

  if (Refusal != EFI_SUCCESS) {
    mTrace.Record ("SetVariable", Detail + Why + " -> " + StatusName (Refusal), DataSize, Attributes, Refusal);
    return Refusal;
  }

  EFI_STATUS  Status = Faulted ? Injected : EFI_SUCCESS;
  if (Delete) {
    this->Delete (Name, *Guid);
    mTrace.Record ("SetVariable", Detail + " delete" + (Faulted ? " -> " + StatusName (Status) : ""), DataSize, Attributes, Status);
    return Status;
  }

  const UINT8  *Bytes8 = static_cast<const UINT8 *>(Data);
  Put (Name, *Guid, Attributes, Bytes (Bytes8, Bytes8 + DataSize));
  mTrace.Record ("SetVariable", Detail + " -> " + StatusName (Status), DataSize, Attributes, Status);
  return Status;
}

}
