/** @file
  Thin wrappers around the firmware services the driver calls.

  The wrappers add nothing: each passes its arguments to the saved table's
  service and returns its status. They keep every dereference of a firmware
  table in this one file. MdePkg declares the variable services with pointers
  to non-constant name, GUID and data, which they only read; the casts away
  from CONST are made here and nowhere else.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FirmwareServices.h"

#include <Library/TavriBaseLib.h>

EFI_SYSTEM_TABLE      *gImageSt = NULL;
EFI_BOOT_SERVICES     *gImageBs = NULL;
EFI_RUNTIME_SERVICES  *gImageRt = NULL;

VOID
FwSaveSystemTable (
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  gImageSt = SystemTable;
  gImageBs = SystemTable->BootServices;
  gImageRt = SystemTable->RuntimeServices;
}

UINT32
FwSystemTableRevision (
  VOID
  )
{
  return gImageSt->Hdr.Revision;
}

VOID *
FwFindConfigurationTable (
  IN CONST EFI_GUID  *Guid
  )
{
  return TavriFindConfigurationTable (gImageSt, Guid);
}

EFI_STATUS
FwCreateEvent (
  IN  UINT32            Type,
  IN  EFI_TPL           NotifyTpl,
  IN  EFI_EVENT_NOTIFY  NotifyFunction,
  IN  VOID              *NotifyContext,
  OUT EFI_EVENT         *Event
  )
{
  return gImageBs->CreateEvent (Type, NotifyTpl, NotifyFunction, NotifyContext, Event);
}

EFI_STATUS
FwCreateEventEx (
  IN  UINT32            Type,
  IN  EFI_TPL           NotifyTpl,
  IN  EFI_EVENT_NOTIFY  NotifyFunction,
  IN  CONST VOID        *NotifyContext,
  IN  CONST EFI_GUID    *EventGroup,
  OUT EFI_EVENT         *Event
  )
{
  return gImageBs->CreateEventEx (Type, NotifyTpl, NotifyFunction, NotifyContext, EventGroup, Event);
}

EFI_STATUS
FwRegisterProtocolNotify (
  IN  EFI_GUID   *Protocol,
  IN  EFI_EVENT  Event,
  OUT VOID       **Registration
  )
{
  return gImageBs->RegisterProtocolNotify (Protocol, Event, Registration);
}

EFI_STATUS
FwCloseEvent (
  IN EFI_EVENT  Event
  )
{
  return gImageBs->CloseEvent (Event);
}

EFI_STATUS
FwLocateProtocol (
  IN  EFI_GUID  *Protocol,
  OUT VOID      **Interface
  )
{
  return gImageBs->LocateProtocol (Protocol, NULL, Interface);
}

EFI_STATUS
FwInstallProtocolInterface (
  IN OUT EFI_HANDLE  *Handle,
  IN     EFI_GUID    *Protocol,
  IN     VOID        *Interface
  )
{
  return gImageBs->InstallProtocolInterface (Handle, Protocol, EFI_NATIVE_INTERFACE, Interface);
}

EFI_STATUS
FwGetVariable (
  IN     CONST CHAR16    *VariableName,
  IN     CONST EFI_GUID  *VendorGuid,
  OUT    UINT32          *Attributes,
  IN OUT UINTN           *DataSize,
  OUT    VOID            *Data
  )
{
  return gImageRt->GetVariable (const_cast<CHAR16 *>(VariableName), const_cast<EFI_GUID *>(VendorGuid), Attributes, DataSize, Data);
}

EFI_STATUS
FwSetVariable (
  IN CONST CHAR16    *VariableName,
  IN CONST EFI_GUID  *VendorGuid,
  IN UINT32          Attributes,
  IN UINTN           DataSize,
  IN CONST VOID      *Data
  )
{
  return gImageRt->SetVariable (
                     const_cast<CHAR16 *>(VariableName),
                     const_cast<EFI_GUID *>(VendorGuid),
                     Attributes,
                     DataSize,
                     const_cast<VOID *>(Data)
                     );
}
