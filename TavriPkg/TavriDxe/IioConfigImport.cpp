/** @file
  Copies the per-socket IIO values of sockets 0 and 1 from the IIO source HOB
  into SocketIioConfig when the variable's import switch is 1, and stores the
  variable again on every boot that does so.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "TavriDxe.h"
#include "Platform/FirmwareServices.h"

#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Library/TavriBaseLib.h>

UINT32  mIioConfigAttributes = 0;

/**
  Import the IIO values from the HOB into SocketIioConfig.

  @retval EFI_NOT_FOUND         No HOB list, no IIO source HOB, or a malformed
                                list; nothing read or written.
  @retval EFI_BAD_BUFFER_SIZE   The HOB carries fewer data bytes than the copy
                                map reads, or the variable is not exactly
                                22,247 bytes; nothing written.
  @retval EFI_ABORTED           The switch byte is not 1; nothing written.
  @retval other                 The status of GetVariable when it was not
                                EFI_SUCCESS, or of the final SetVariable.
**/
EFI_STATUS
EFIAPI
ImportIioConfigFromHob (
  VOID
  )
{
  EFI_STATUS   Status;
  CONST VOID   *Found;
  CONST UINT8  *HobData;
  UINTN        HobDataSize;
  UINT8        Buffer[SOCKET_IIO_CONFIG_SIZE];
  UINTN        Size = sizeof (Buffer);

  //
  // The walk ends at the first malformed HOB: a list the driver cannot walk
  // safely holds no HOB for it.
  //
  if (TavriFindGuidHob (LookupHobList (), &gIioSourceHobGuid, &Found, &HobDataSize) != EFI_SUCCESS) {
    return EFI_NOT_FOUND;
  }

  HobData = static_cast<CONST UINT8 *>(Found);
  if (HobDataSize < IIO_SOURCE_HOB_MIN_DATA_SIZE) {
    return EFI_BAD_BUFFER_SIZE;
  }

  Status = FwGetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, &mIioConfigAttributes, &Size, Buffer);
  if (Status != EFI_SUCCESS) {
    return Status;
  }

  if (Size != sizeof (Buffer)) {
    return EFI_BAD_BUFFER_SIZE;
  }

  if (Buffer[IIO_HOB_IMPORT_SWITCH_OFFSET] != IIO_HOB_IMPORT_ENABLED) {
    return EFI_ABORTED;
  }

  for (const IIO_COPY_RANGE &Range : IioCopyMap) {
    for (UINTN Socket = 0; Socket < IIO_IMPORTED_SOCKETS; Socket++) {
      for (UINTN Index = 0; Index < Range.Length; Index++) {
        Buffer[Range.VarOffset + Socket * Range.VarStride + Index] = HobData[Range.HobOffset + Socket * Range.HobStride + Index];
      }
    }
  }

  return FwSetVariable (SOCKET_IIO_CONFIG_NAME, &gSocketIioConfigGuid, mIioConfigAttributes, sizeof (Buffer), Buffer);
}
