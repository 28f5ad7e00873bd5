/** @file
  One IPMI request through the transport found under the transport GUID,
  made so that both shapes published under it read the call right: sizes as
  UINT8 (Protocol/IpmiTransport.h) or as UINT32 (Protocol/IpmiTransport2.h).
  The request size fills its whole 8-byte argument slot; the response size is
  a 32-bit object whose low byte is the capacity (at most 255). The response
  area must hold one byte more than the capacity: the UINT32 shape may store
  it. TavriDxe calls its transport the same way (Fru/FruAccess.cpp).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IPMI_SEND_ANY_SHAPE_H_
#define IPMI_SEND_ANY_SHAPE_H_

#include <Uefi.h>
#include <Protocol/IpmiTransport.h>

typedef EFI_STATUS (EFIAPI *IPMI_SEND_ANY_SHAPE)(
  IN     IPMI_TRANSPORT_PROTOCOL  *This,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINTN                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT32                   *ResponseDataSize
  );

inline
EFI_STATUS
IpmiSendAnyShape (
  IN     IPMI_TRANSPORT_PROTOCOL  *Ipmi,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINTN                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT32                   *ResponseDataSize
  )
{
  return reinterpret_cast<IPMI_SEND_ANY_SHAPE>(Ipmi->SendIpmiCommand)(
           Ipmi, NetFunction, Lun, Command, CommandData, CommandDataSize, ResponseData, ResponseDataSize);
}

#endif
