/** @file
  The run count of a test app.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "RunCounter.h"

UINT32
CountRun (
  IN  EFI_RUNTIME_SERVICES  *Rt,
  IN  CONST CHAR16          *Name,
  IN  EFI_GUID              *Guid,
  OUT EFI_STATUS            *Stored
  )
{
  UINT32  Run  = 0;
  UINTN   Size = sizeof (Run);

  if (EFI_ERROR (Rt->GetVariable (Name, Guid, NULL, &Size, &Run)) || (Size != sizeof (Run))) {
    Run = 0;
  }

  Run++;
  *Stored = Rt->SetVariable (Name, Guid, EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS, sizeof (Run), &Run);
  return Run;
}
