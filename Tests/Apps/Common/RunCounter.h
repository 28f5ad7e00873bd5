/** @file
  The test apps do one step per boot and tell boots apart by a count of their
  runs, kept in a non-volatile variable of their own.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef RUN_COUNTER_H_
#define RUN_COUNTER_H_

#include <Uefi.h>

/**
  Count this run.

  @param[in]   Rt      The runtime services.
  @param[in]   Name    The app's counter variable.
  @param[in]   Guid    Its vendor GUID.
  @param[out]  Stored  The status of storing the new count: an app whose runs
                       cannot be counted must not step on, or it would repeat
                       the same step on every boot.

  @return The number of this run, 1 for the first.
**/
UINT32
CountRun (
  IN  EFI_RUNTIME_SERVICES  *Rt,
  IN  CONST CHAR16          *Name,
  IN  EFI_GUID              *Guid,
  OUT EFI_STATUS            *Stored
  );

#endif
