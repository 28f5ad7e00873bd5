/** @file
  The small base library every TavriPkg image shares: GUID comparison, a
  guarded walk of the HOB list for a GUID HOB, configuration-table lookup and
  decimal and hex text. Nothing here touches hardware or allocates memory.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef TAVRI_BASE_LIB_H_
#define TAVRI_BASE_LIB_H_

#include <PiDxe.h>

///
/// Non-volatile, with boot service and runtime access: the attributes of the
/// platform's setup variables and of load options.
///
#define TAVRI_VARIABLE_NV_BS_RT  (EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)

#ifdef __cplusplus
extern "C" {
#endif

/**
  Compare 16 bytes with a GUID, byte by byte: a GUID inside a HOB or a table
  need not be aligned.

  @param[in]  Bytes  The 16 bytes to compare, at any alignment.
  @param[in]  Guid   The GUID.

  @retval TRUE   The bytes are the GUID.
  @retval FALSE  They are not.
**/
BOOLEAN
EFIAPI
TavriGuidEqual (
  IN CONST VOID      *Bytes,
  IN CONST EFI_GUID  *Guid
  );

/**
  Find the first GUID extension HOB of a given name.

  The walk stops at the end of the list and at the first malformed HOB: a
  HobLength shorter than a HOB header would never move the walk on, and one
  that is not a multiple of 8 would leave the next header out of alignment.
  A GUID HOB shorter than its own header is passed over.

  @param[in]   HobList   The first HOB of the list; NULL finds nothing.
  @param[in]   Name      The HOB's name.
  @param[out]  Data      The HOB's first data byte; NULL unless found.
  @param[out]  DataSize  The data bytes of the HOB found; 0 unless found.

  @retval EFI_SUCCESS           Found.
  @retval EFI_NOT_FOUND         No list, or the list ends without such a HOB.
  @retval EFI_VOLUME_CORRUPTED  A malformed HOB came first.
**/
EFI_STATUS
EFIAPI
TavriFindGuidHob (
  IN  CONST VOID      *HobList,
  IN  CONST EFI_GUID  *Name,
  OUT CONST VOID      **Data,
  OUT UINTN           *DataSize
  );

/**
  Find a configuration-table entry by its GUID.

  @param[in]  SystemTable  The UEFI system table.
  @param[in]  Guid         Vendor GUID to look for.

  @return The first matching entry's table, or NULL when there is none.
**/
VOID *
EFIAPI
TavriFindConfigurationTable (
  IN CONST EFI_SYSTEM_TABLE  *SystemTable,
  IN CONST EFI_GUID          *Guid
  );

///
/// Room for any UINT64 in decimal (20 digits) or hex (16 digits) and the NUL.
///
typedef struct {
  CHAR8    Text[21];
} TAVRI_NUMBER_TEXT;

/**
  Write Value in decimal.

  @return The first digit, inside Buffer.
**/
CONST CHAR8 *
EFIAPI
TavriDecimalText (
  IN  UINT64             Value,
  OUT TAVRI_NUMBER_TEXT  *Buffer
  );

/**
  Write Value in upper-case hex without a prefix: at least MinDigits digits,
  more when the value needs them, never more than 16.

  @return The first digit, inside Buffer.
**/
CONST CHAR8 *
EFIAPI
TavriHexText (
  IN  UINT64             Value,
  IN  UINTN              MinDigits,
  OUT TAVRI_NUMBER_TEXT  *Buffer
  );

#ifdef __cplusplus
}
#endif

#endif
