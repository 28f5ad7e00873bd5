/** @file
  The driver's path to the firmware: the saved table pointers and thin wrappers
  around the boot and runtime services it calls. Nothing else in the driver
  reads the firmware tables.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FIRMWARE_SERVICES_H_
#define FIRMWARE_SERVICES_H_

#include <Uefi.h>

extern "C" {

extern EFI_SYSTEM_TABLE      *gImageSt;
extern EFI_BOOT_SERVICES     *gImageBs;
extern EFI_RUNTIME_SERVICES  *gImageRt;

/**
  Save the system table and its service table pointers.
**/
VOID
FwSaveSystemTable (
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

/**
  @return The header revision of the saved system table.
**/
UINT32
FwSystemTableRevision (
  VOID
  );

/**
  Find a configuration-table entry by its GUID.

  @param[in]  Guid  Vendor GUID to look for.

  @return The first matching entry's table, or NULL when there is none.
**/
VOID *
FwFindConfigurationTable (
  IN CONST EFI_GUID  *Guid
  );

EFI_STATUS
FwCreateEvent (
  IN  UINT32            Type,
  IN  EFI_TPL           NotifyTpl,
  IN  EFI_EVENT_NOTIFY  NotifyFunction,
  IN  VOID              *NotifyContext,
  OUT EFI_EVENT         *Event
  );

EFI_STATUS
FwCreateEventEx (
  IN  UINT32            Type,
  IN  EFI_TPL           NotifyTpl,
  IN  EFI_EVENT_NOTIFY  NotifyFunction,
  IN  CONST VOID        *NotifyContext,
  IN  CONST EFI_GUID    *EventGroup,
  OUT EFI_EVENT         *Event
  );

EFI_STATUS
FwRegisterProtocolNotify (
  IN  EFI_GUID   *Protocol,
  IN  EFI_EVENT  Event,
  OUT VOID       **Registration
  );

EFI_STATUS
FwCloseEvent (
  IN EFI_EVENT  Event
  );

EFI_STATUS
FwLocateProtocol (
  IN  EFI_GUID  *Protocol,
  OUT VOID      **Interface
  );

EFI_STATUS
FwInstallProtocolInterface (
  IN OUT EFI_HANDLE  *Handle,
  IN     EFI_GUID    *Protocol,
  IN     VOID        *Interface
  );

EFI_STATUS
FwGetVariable (
  IN     CONST CHAR16    *VariableName,
  IN     CONST EFI_GUID  *VendorGuid,
  OUT    UINT32          *Attributes,
  IN OUT UINTN           *DataSize,
  OUT    VOID            *Data
  );

EFI_STATUS
FwSetVariable (
  IN CONST CHAR16    *VariableName,
  IN CONST EFI_GUID  *VendorGuid,
  IN UINT32          Attributes,
  IN UINTN           DataSize,
  IN CONST VOID      *Data
  );

}

#endif
