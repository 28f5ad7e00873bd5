/** @file
  The size of a FRU device and the unit it is addressed in, as the BMC gives
  them for Get FRU Inventory Area Info (NetFn Storage, command 0x10), asked
  through the platform's IPMI transport.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_INVENTORY_H_
#define FRU_INVENTORY_H_

#include <Protocol/IpmiTransport.h>
#include <Library/FruFormat.h>

constexpr UINT8  FRU_NETFN_STORAGE           = 0x0A;
constexpr UINT8  FRU_CMD_GET_INVENTORY_INFO  = 0x10;
constexpr UINTN  FRU_INVENTORY_INFO_RESPONSE = 4;    ///< completion code, size LS, size MS, access

typedef struct {
  UINT32     Size;        ///< bytes of the device (or words, when Words)
  BOOLEAN    Words;       ///< the device is addressed in 16-bit words
  UINT8      Completion;  ///< the BMC's completion code
} FRU_INVENTORY_INFO;

/**
  Read a Get FRU Inventory Area Info response: completion code first.

  @retval EFI_SUCCESS          Info holds the size and the access unit.
  @retval EFI_NOT_FOUND        The BMC has no such FRU device (completion
                               code 0xCB, or a size of 0).
  @retval EFI_DEVICE_ERROR     Another non-zero completion code.
  @retval EFI_PROTOCOL_ERROR   The response is shorter than 4 bytes.
**/
EFI_STATUS
FruParseInventoryInfo (
  IN  CONST UINT8         *Response,
  IN  UINTN               Length,
  OUT FRU_INVENTORY_INFO  *Info
  );

/**
  Ask the BMC for FRU device DeviceId's size and access unit.

  The call passes the request size zero-extended in its whole argument slot
  and the response size in a zeroed, 4-byte aligned 32-bit object whose low
  byte is the capacity, with a response buffer one byte larger than the
  capacity: a transport that takes both sizes as UINT8 and one that takes
  them as UINT32 read the same values and touch nothing else. A transport
  that returns an error for a non-zero completion code gives its error.

  @return  The transport's error, or FruParseInventoryInfo's status.
**/
EFI_STATUS
FruQueryInventoryInfo (
  IN  IPMI_TRANSPORT_PROTOCOL  *Transport,
  IN  UINT8                    DeviceId,
  OUT FRU_INVENTORY_INFO       *Info
  );

#endif
