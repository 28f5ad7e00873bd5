/** @file
  Starting a driver image that a test app carries in memory.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EmbeddedDriver.h"

EFI_STATUS
LoadAndStartEmbedded (
  IN EFI_BOOT_SERVICES  *BootServices,
  IN EFI_HANDLE         Parent,
  IN CONST UINT8        *Image,
  IN CONST UINT8        *ImageEnd
  )
{
  EFI_HANDLE  Handle = NULL;
  EFI_STATUS  Status;

  Status = BootServices->LoadImage (FALSE, Parent, NULL, const_cast<UINT8 *>(Image), static_cast<UINTN>(ImageEnd - Image), &Handle);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  return BootServices->StartImage (Handle, NULL, NULL);
}
