/** @file
  FruSmbiosDxe's entry point and the one step it takes, callable on its own
  so that the emulated board can run it against its protocols.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_SMBIOS_DXE_H_
#define FRU_SMBIOS_DXE_H_

#include "SmbiosUpdate.h"

///
/// The FRU device that describes the board the BMC sits on.
///
constexpr UINT8  FRU_SMBIOS_DEVICE_ID = 0;

///
/// What the last update did.
///
typedef struct {
  EFI_STATUS              ReadStatus;   ///< FruValuesRead: an error changes nothing
  SMBIOS_UPDATE_RESULT    Update;
} FRU_SMBIOS_OUTCOME;

//
// C linkage: EDK2's AutoGen.c calls the entry point, and the emulated board
// finds all three by name in the host module.
//
extern "C" {

/**
  Read FRU device 0 and update SMBIOS types 1, 2 and 3 from it. A device that
  cannot be read or whose header is not valid changes nothing.
**/
VOID
FruSmbiosUpdate (
  IN  CONST FRU_ACCESS_PROTOCOL  *Fru,
  IN  CONST EFI_SMBIOS_PROTOCOL  *Smbios,
  IN  EFI_HANDLE                 Producer,
  OUT FRU_SMBIOS_OUTCOME         *Outcome
  );

/**
  @return What the update at the protocols' arrival did, or NULL when it has
          not run.
**/
CONST FRU_SMBIOS_OUTCOME *
FruSmbiosLastOutcome (
  VOID
  );

EFI_STATUS
EFIAPI
FruSmbiosDxeEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

}

#endif
