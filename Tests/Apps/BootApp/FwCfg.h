/** @file
  QEMU's firmware configuration device, read through its I/O ports: the
  harness hands the boot app named files with -fw_cfg.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef BOOT_APP_FW_CFG_H_
#define BOOT_APP_FW_CFG_H_

#include <Uefi.h>

/**
  Read a named fw_cfg file.

  @param[in]   Name      File name, e.g. "opt/tavri/fru-ops".
  @param[out]  Buffer    Receives the file.
  @param[in]   Capacity  Size of Buffer.
  @param[out]  Size      The file's size.

  @retval EFI_SUCCESS           Size bytes are in Buffer.
  @retval EFI_UNSUPPORTED       There is no fw_cfg device.
  @retval EFI_NOT_FOUND         No file of that name.
  @retval EFI_BUFFER_TOO_SMALL  The file is larger than Capacity; nothing read.
**/
EFI_STATUS
FwCfgReadFile (
  IN  CONST CHAR8  *Name,
  OUT UINT8        *Buffer,
  IN  UINTN        Capacity,
  OUT UINTN        *Size
  );

#endif
