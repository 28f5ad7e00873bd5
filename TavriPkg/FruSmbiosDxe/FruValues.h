/** @file
  The FRU values FruSmbiosDxe puts into SMBIOS: read from a FRU device through
  the FRU access protocol, checked and decoded to SMBIOS strings.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_SMBIOS_VALUES_H_
#define FRU_SMBIOS_VALUES_H_

#include "FruSmbiosMap.h"
#include <Protocol/FruAccess.h>

///
/// What became of one FRU field.
///
typedef enum {
  FruValueAbsent,     ///< the area is absent or failed its check, or the field is missing, empty or binary
  FruValueTooLong,    ///< longer than SMBIOS_STRING_MAX_LENGTH once decoded: left out
  FruValueSet         ///< Text holds the string for SMBIOS
} FRU_VALUE_STATE;

typedef struct {
  FRU_VALUE_STATE    State;
  CHAR8              Text[SMBIOS_STRING_MAX_LENGTH + 1];
} FRU_SMBIOS_VALUE;

typedef struct {
  FRU_SMBIOS_VALUE    Value[FRU_SMBIOS_MAP_COUNT];   ///< one per mFruSmbiosMap entry
  UINT8               ChassisType;                   ///< 0: none to give
  FRU_STATUS          AreaStatus[FruAreaCount];      ///< FruOk, or why the area was not used
} FRU_SMBIOS_VALUES;

/**
  Read the common header of a FRU device, then the chassis, board and product
  areas it names, check them and decode the fields of mFruSmbiosMap.

  @param[in]   Fru        The FRU access protocol.
  @param[in]   DeviceId   The FRU device.
  @param[out]  Values  The values; every one FruValueAbsent unless
                          EFI_SUCCESS.

  @retval EFI_SUCCESS           Read; areas that failed their checks give no values.
  @retval EFI_VOLUME_CORRUPTED  The common header is not a valid one.
  @retval other                 A read failed (the BMC busy, the device shorter
                                than its header says): nothing is to be used.
**/
EFI_STATUS
FruValuesRead (
  IN  CONST FRU_ACCESS_PROTOCOL  *Fru,
  IN  UINT8                      DeviceId,
  OUT FRU_SMBIOS_VALUES              *Values
  );

#endif
