/** @file
  Every GUID the images and the host build use, defined once. Inside EDK2 the
  build's AutoGen defines them from the DEC files instead; the headers only
  declare them.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Uefi.h>
#include <Guid/BootHookTrigger.h>
#include <Guid/EventGroup.h>
#include <Guid/GlobalVariable.h>
#include <Guid/HobList.h>
#include <Guid/SmBios.h>
#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Protocol/DevicePath.h>
#include <Protocol/FruAccess.h>
#include <Protocol/IpmiProtocol.h>
#include <Protocol/IpmiTransport.h>
#include <Protocol/LoadedImage.h>
#include <Protocol/Shell.h>
#include <Protocol/ShellParameters.h>
#include <Protocol/Smbios.h>

//
// TavriPkg's own, as TavriPkg.dec lists them.
//
EFI_GUID  gIioSourceHobGuid                = IIO_SOURCE_HOB_GUID;
EFI_GUID  gSocketPowerManagementConfigGuid = SOCKET_POWER_MANAGEMENT_CONFIG_GUID;
EFI_GUID  gSocketIioConfigGuid             = SOCKET_IIO_CONFIG_GUID;
EFI_GUID  gIpmiTransportProtocolGuid       = IPMI_TRANSPORT_PROTOCOL_GUID;
EFI_GUID  gFruAccessProtocolGuid           = FRU_ACCESS_PROTOCOL_GUID;
EFI_GUID  gBootHookTriggerProtocolGuid     = BOOT_HOOK_TRIGGER_PROTOCOL_GUID;

//
// MdePkg's, as MdePkg.dec lists them.
//
EFI_GUID  gEfiHobListGuid                 = EFI_HOB_LIST_GUID;
EFI_GUID  gEfiEventReadyToBootGuid        = EFI_EVENT_GROUP_READY_TO_BOOT;
EFI_GUID  gEfiGlobalVariableGuid          = EFI_GLOBAL_VARIABLE_GUID;
EFI_GUID  gEfiDevicePathProtocolGuid      = EFI_DEVICE_PATH_PROTOCOL_GUID;
EFI_GUID  gEfiLoadedImageProtocolGuid     = EFI_LOADED_IMAGE_PROTOCOL_GUID;
EFI_GUID  gEfiShellProtocolGuid           = EFI_SHELL_PROTOCOL_GUID;
EFI_GUID  gEfiShellParametersProtocolGuid = EFI_SHELL_PARAMETERS_PROTOCOL_GUID;
EFI_GUID  gEfiSmbiosProtocolGuid          = EFI_SMBIOS_PROTOCOL_GUID;
EFI_GUID  gEfiSmbiosTableGuid             = SMBIOS_TABLE_GUID;
EFI_GUID  gEfiSmbios3TableGuid            = SMBIOS3_TABLE_GUID;

//
// MdeModulePkg's, as MdeModulePkg.dec lists them.
//
EFI_GUID  gIpmiProtocolGuid = IPMI_PROTOCOL_GUID;
