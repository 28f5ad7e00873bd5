/** @file
  Get FRU Inventory Area Info through the platform's IPMI transport.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruInventory.h>

EFI_STATUS
FruParseInventoryInfo (
  IN  CONST UINT8         *Response,
  IN  UINTN               Length,
  OUT FRU_INVENTORY_INFO  *Info
  )
{
  Info->Size       = 0;
  Info->Words      = FALSE;
  Info->Completion = (Length >= 1) ? Response[0] : 0xFF;
  if (Length < 1) {
    return EFI_PROTOCOL_ERROR;
  }

  if (Response[0] == 0xCB) {
    return EFI_NOT_FOUND;
  }

  if (Response[0] != 0) {
    return EFI_DEVICE_ERROR;
  }

  if (Length < FRU_INVENTORY_INFO_RESPONSE) {
    return EFI_PROTOCOL_ERROR;
  }

  Info->Size  = Response[1] | (static_cast<UINT32>(Response[2]) << 8);
  Info->Words = (Response[3] & 0x01) != 0;
  return (Info->Size == 0) ? EFI_NOT_FOUND : EFI_SUCCESS;
}

EFI_STATUS
FruQueryInventoryInfo (
  IN  IPMI_TRANSPORT_PROTOCOL  *Transport,
  IN  UINT8                    DeviceId,
  OUT FRU_INVENTORY_INFO       *Info
  )
{
  UINT8   Request[1] = { DeviceId };
  UINT8   Response[FRU_INVENTORY_INFO_RESPONSE + IPMI_RESPONSE_SLACK] = { 0 };
  UINT32  ResponseSize = FRU_INVENTORY_INFO_RESPONSE;

  Info->Size       = 0;
  Info->Words      = FALSE;
  Info->Completion = 0xFF;
  EFI_STATUS  Status = IpmiSendAnyShape (Transport, FRU_NETFN_STORAGE, 0, FRU_CMD_GET_INVENTORY_INFO, Request, sizeof (Request),
                                         Response, &ResponseSize);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  UINTN  Length = (ResponseSize < sizeof (Response)) ? ResponseSize : sizeof (Response);
  return FruParseInventoryInfo (Response, Length, Info);
}
