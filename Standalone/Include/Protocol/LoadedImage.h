/** @file
  The loaded image protocol, installed by LoadImage on every image handle.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef LOADED_IMAGE_PROTOCOL_H_
#define LOADED_IMAGE_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>
#include <Uefi/UefiTables.h>

#define EFI_LOADED_IMAGE_PROTOCOL_GUID \
  { 0x5B1B31A1, 0x9562, 0x11D2, { 0x8E, 0x3F, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B } }

extern EFI_GUID  gEfiLoadedImageProtocolGuid;

typedef struct {
  UINT32                      Revision;
  EFI_HANDLE                  ParentHandle;     ///< image that called LoadImage
  EFI_SYSTEM_TABLE            *SystemTable;
  EFI_HANDLE                  DeviceHandle;     ///< device the image was loaded from
  EFI_DEVICE_PATH_PROTOCOL    *FilePath;        ///< path of the image on that device
  VOID                        *Reserved;
  UINT32                      LoadOptionsSize;
  VOID                        *LoadOptions;
  VOID                        *ImageBase;
  UINT64                      ImageSize;
  EFI_MEMORY_TYPE             ImageCodeType;
  EFI_MEMORY_TYPE             ImageDataType;
  VOID                        *Unload;
} EFI_LOADED_IMAGE_PROTOCOL;

static_assert (OFFSET_OF (EFI_LOADED_IMAGE_PROTOCOL, ParentHandle) == 8, "loaded image");
static_assert (OFFSET_OF (EFI_LOADED_IMAGE_PROTOCOL, DeviceHandle) == 24, "loaded image");
static_assert (OFFSET_OF (EFI_LOADED_IMAGE_PROTOCOL, FilePath) == 32, "loaded image");
static_assert (OFFSET_OF (EFI_LOADED_IMAGE_PROTOCOL, ImageBase) == 64, "loaded image");

#endif
