/** @file
  TavriRun's bring-up log: each boot of the driver in words, told from the
  board's trace, and FRU bytes decoded by the FRU format library with the
  checksum verdict beside the hex dump.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef TAVRI_RUN_BOOT_STORY_H_
#define TAVRI_RUN_BOOT_STORY_H_

#include <Uefi.h>

#include <string>

namespace TavriRun {

/**
  Print what the driver did in one boot, one sentence a line, from the
  board's formatted trace of that boot.

  @param[in] Trace        The boot's trace as EmulatedBoard::FormatTrace gives it.
  @param[in] ResetValue   The value written to 0xCF9 when the boot ended that way.
  @param[in] ResetByCf9   TRUE when the boot ended in a reset through 0xCF9.
**/
void
PrintBootStory (
  const std::string  &Trace,
  bool               ResetByCf9,
  UINT8              ResetValue
  );

/**
  Print Size bytes of a FRU device as a hex dump, the verdict of the FRU
  format library's checks beside it, then the fields it decodes.

  @return  TRUE when every checksum is good.
**/
bool
PrintFruDevice (
  const UINT8  *Data,
  size_t       Size
  );

}  // namespace TavriRun

#endif
