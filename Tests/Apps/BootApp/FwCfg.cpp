/** @file
  QEMU's firmware configuration device, read through its I/O ports: a 16-bit
  selector at 0x510 and a byte-wide data port at 0x511. Key 0 holds the
  signature "QEMU"; key 0x19 the file directory: a big-endian count, then
  64-byte entries (size, key, reserved, 56-byte name), all big-endian.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FwCfg.h"

#include <Library/IoLib.h>

constexpr UINT16  FW_CFG_SELECTOR_PORT = 0x510;
constexpr UINT16  FW_CFG_DATA_PORT     = 0x511;
constexpr UINT16  FW_CFG_SIGNATURE     = 0x0000;
constexpr UINT16  FW_CFG_FILE_DIR      = 0x0019;
constexpr UINTN   FW_CFG_NAME_SIZE     = 56;

STATIC
VOID
FwCfgSelect (
  IN UINT16  Key
  )
{
  __asm__ __volatile__ ("outw %w0, %w1" : : "a" (Key), "Nd" (FW_CFG_SELECTOR_PORT) : "memory");
}

STATIC
UINT32
FwCfgReadBe (
  IN UINTN  Bytes
  )
{
  UINT32  Value = 0;

  for (UINTN Index = 0; Index < Bytes; Index++) {
    Value = (Value << 8) | IoRead8 (FW_CFG_DATA_PORT);
  }

  return Value;
}

/**
  TRUE when the directory entry's name (NUL-padded to 56 bytes) is Name.
**/
STATIC
BOOLEAN
SameName (
  IN CONST CHAR8  *EntryName,
  IN CONST CHAR8  *Name
  )
{
  for (UINTN Index = 0; Index < FW_CFG_NAME_SIZE; Index++) {
    if (EntryName[Index] != Name[Index]) {
      return FALSE;
    }

    if (Name[Index] == 0) {
      return TRUE;
    }
  }

  return FALSE;
}

EFI_STATUS
FwCfgReadFile (
  IN  CONST CHAR8  *Name,
  OUT UINT8        *Buffer,
  IN  UINTN        Capacity,
  OUT UINTN        *Size
  )
{
  *Size = 0;
  FwCfgSelect (FW_CFG_SIGNATURE);
  if (FwCfgReadBe (4) != 0x51454D55) {     // "QEMU"
    return EFI_UNSUPPORTED;
  }

  FwCfgSelect (FW_CFG_FILE_DIR);
  UINT32  Count = FwCfgReadBe (4);
  for (UINT32 Entry = 0; Entry < Count; Entry++) {
    UINT32  FileSize = FwCfgReadBe (4);
    UINT16  Key      = static_cast<UINT16>(FwCfgReadBe (2));
    CHAR8   EntryName[FW_CFG_NAME_SIZE];

    (VOID)FwCfgReadBe (2);
    for (UINTN Index = 0; Index < FW_CFG_NAME_SIZE; Index++) {
      EntryName[Index] = static_cast<CHAR8>(IoRead8 (FW_CFG_DATA_PORT));
    }

    if (!SameName (EntryName, Name)) {
      continue;
    }

    if (FileSize > Capacity) {
      return EFI_BUFFER_TOO_SMALL;
    }

    FwCfgSelect (Key);
    for (UINT32 Index = 0; Index < FileSize; Index++) {
      Buffer[Index] = IoRead8 (FW_CFG_DATA_PORT);
    }

    *Size = FileSize;
    return EFI_SUCCESS;
  }

  return EFI_NOT_FOUND;
}
