/** @file
  Putting the FRU values into the SMBIOS structures through the SMBIOS
  protocol: strings with UpdateString, a replacement structure (Remove, then
  Add under the same handle) only where a string field has no string of its
  own or the chassis type byte changes, and a baseboard structure added when
  the platform has none.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SMBIOS_UPDATE_H_
#define SMBIOS_UPDATE_H_

#include "FruValues.h"
#include <Protocol/Smbios.h>

///
/// Largest structure, strings included, the updater copies; a larger one is
/// left as it is.
///
constexpr UINTN  SMBIOS_UPDATE_RECORD_MAX = 2048;

///
/// How each SMBIOS type fared: bit N of Changed is set when mFruSmbiosMap
/// entry N reached the table.
///
typedef struct {
  UINT32        Changed;
  EFI_STATUS    TypeStatus[4];    ///< [1], [2], [3]: the last failure, or EFI_SUCCESS
  BOOLEAN       BaseboardAdded;
} SMBIOS_UPDATE_RESULT;

/**
  Write the values of Values into SMBIOS types 1, 2 and 3. Values that are
  not FruValueSet leave the platform's string as it is; so does a value equal
  to it.

  @param[in]   Smbios     The SMBIOS protocol.
  @param[in]   Producer   The handle given to Add as the structures' producer.
  @param[in]   Values  The values from FruValuesRead.
  @param[out]  Result     What changed.
**/
VOID
SmbiosUpdateFromFru (
  IN  CONST EFI_SMBIOS_PROTOCOL  *Smbios,
  IN  EFI_HANDLE                 Producer,
  IN  CONST FRU_SMBIOS_VALUES        *Values,
  OUT SMBIOS_UPDATE_RESULT       *Result
  );

#endif
