/** @file
  GUID comparison for the test apps, byte by byte: GUIDs in tables and HOBs
  need not be aligned.
**/

#ifndef GUID_COMPARE_H_
#define GUID_COMPARE_H_

#include <Uefi.h>

inline BOOLEAN
SameGuid (
  IN CONST EFI_GUID  &A,
  IN CONST EFI_GUID  &B
  )
{
  CONST UINT8  *L = reinterpret_cast<CONST UINT8 *>(&A);
  CONST UINT8  *R = reinterpret_cast<CONST UINT8 *>(&B);

  for (UINTN Index = 0; Index < sizeof (EFI_GUID); Index++) {
    if (L[Index] != R[Index]) {
      return FALSE;
    }
  }

  return TRUE;
}

#endif
