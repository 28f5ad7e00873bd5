/** @file
  Device paths of files next to an image, and the Driver#### load options and
  DriverOrder that make the boot manager load such files, as the shell's
  `bcfg driver add` would store them.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef LOAD_OPTION_H_
#define LOAD_OPTION_H_

#include <Uefi.h>
#include <Protocol/DevicePath.h>

constexpr UINTN  MAX_FILE_DEVICE_PATH = 512;

/**
  Build the full device path of a file on the device an image was loaded
  from: the device's path, one file path node, the end node.

  @param[in]  Image     Image whose device holds the file.
  @param[in]  FileName  Path of the file on that device, e.g. u"\\TavriDxe.efi".
  @param[out] Buffer    MAX_FILE_DEVICE_PATH bytes for the path.
  @param[out] PathSize  Bytes of Buffer used, end node included.

  @retval EFI_SUCCESS           The path is in Buffer.
  @retval EFI_BUFFER_TOO_SMALL  The path would not fit.
  @retval EFI_VOLUME_CORRUPTED  The device path of the device is malformed.
  @retval other                 The image or its device has no device path.
**/
EFI_STATUS
FileDevicePath (
  IN  EFI_HANDLE    Image,
  IN  CONST CHAR16  *FileName,
  OUT UINT8         *Buffer,
  OUT UINTN         *PathSize
  );

/**
  Store Driver#### as an active load option for a file on the device of Image.

  @return The status of building the path or of SetVariable.
**/
EFI_STATUS
WriteDriverOption (
  IN EFI_HANDLE    Image,
  IN UINT16        Number,
  IN CONST CHAR16  *Description,
  IN CONST CHAR16  *FileName
  );

/**
  Store DriverOrder.
**/
EFI_STATUS
WriteDriverOrder (
  IN CONST UINT16  *Numbers,
  IN UINTN         Count
  );

#endif
