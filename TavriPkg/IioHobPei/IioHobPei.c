/** @file
  Test PEIM: builds the IIO source HOB the way a platform's PEI phase leaves
  it for DXE. Data byte i holds (i * 7 + 0x5A) mod 256, so that every byte the
  IIO import copies can be checked against where it came from.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <PiPei.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>

///
/// Data bytes of the HOB: the IIO import reads offsets 0 to 7228.
///
#define IIO_SOURCE_HOB_DATA_SIZE  7229

extern EFI_GUID  gIioSourceHobGuid;

/**
  Build the IIO source HOB.

  @param[in]  FileHandle   This PEIM's file.
  @param[in]  PeiServices  The PEI services table.

  @retval EFI_SUCCESS           The HOB is in the HOB list.
  @retval EFI_OUT_OF_RESOURCES  The HOB list has no room for it.
**/
EFI_STATUS
EFIAPI
IioHobPeiEntryPoint (
  IN       EFI_PEI_FILE_HANDLE  FileHandle,
  IN CONST EFI_PEI_SERVICES     **PeiServices
  )
{
  UINT8  *Data;
  UINTN  Index;

  Data = BuildGuidHob (&gIioSourceHobGuid, IIO_SOURCE_HOB_DATA_SIZE);
  if (Data == NULL) {
    return EFI_OUT_OF_RESOURCES;
  }

  for (Index = 0; Index < IIO_SOURCE_HOB_DATA_SIZE; Index++) {
    Data[Index] = (UINT8)(Index * 7 + 0x5A);
  }

  DEBUG ((DEBUG_INFO, "IioHobPei: IIO source HOB of %u data bytes at %p\n", IIO_SOURCE_HOB_DATA_SIZE, Data));
  return EFI_SUCCESS;
}
