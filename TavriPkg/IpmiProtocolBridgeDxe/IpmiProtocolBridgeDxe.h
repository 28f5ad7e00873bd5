/** @file
  IpmiProtocolBridgeDxe: the IPMI transport in this project's shape
  (Protocol/IpmiTransport.h: sizes as UINT8), installed under the transport
  GUID over MdeModulePkg's IPMI_PROTOCOL, the interface EDK2's own IPMI
  drivers produce. TavriDxe, FruSmbiosDxe and FruTool.efi then run unchanged
  on a platform with EDK2's IPMI stack.

  IpmiProtocolBridge.cpp translates each call; IpmiProtocolBridgeDxe.cpp
  waits for IPMI_PROTOCOL and installs the transport once.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IPMI_PROTOCOL_BRIDGE_DXE_H_
#define IPMI_PROTOCOL_BRIDGE_DXE_H_

#include <Uefi.h>
#include <Protocol/IpmiProtocol.h>
#include <Protocol/IpmiTransport.h>

static_assert (OFFSET_OF (IPMI_PROTOCOL, IpmiSubmitCommand) == 0, "IPMI_PROTOCOL begins with its send function");

///
/// The response area handed to IPMI_PROTOCOL for a command whose reply size
/// the command does not fix: the largest message the KCS interface carries,
/// so that no reply is longer than the area.
///
constexpr UINT32  IPMI_BRIDGE_LARGEST_RESPONSE = 272;

///
/// What the response area is filled with before every call: a reserved
/// completion code (0xD7..0xFE are reserved), which no BMC sends as a valid
/// reply. A first byte still holding it after a failed call means that no
/// reply arrived.
///
constexpr UINT8   IPMI_BRIDGE_MARKER = 0xE5;

///
/// The revision the bridge's transport interface carries.
///
constexpr UINT64  IPMI_BRIDGE_TRANSPORT_REVISION = 0x0001000000000000ULL;

/**
  The response area to hand IPMI_PROTOCOL for a request: the exact reply size
  where the command fixes it (Read FRU Data: 2 + the count asked for; Write
  FRU Data: 2; Get FRU Inventory Area Info: 4), else
  IPMI_BRIDGE_LARGEST_RESPONSE.

  @param[in]  NetFunction      Network function of the request.
  @param[in]  Command          Command of the request.
  @param[in]  CommandData      Request data bytes.
  @param[in]  CommandDataSize  Number of request data bytes.

  @return Bytes of response area, 2..IPMI_BRIDGE_LARGEST_RESPONSE.
**/
UINT32
IpmiBridgeResponseArea (
  IN UINT8        NetFunction,
  IN UINT8        Command,
  IN CONST UINT8  *CommandData,
  IN UINTN        CommandDataSize
  );

/**
  The transport interface over Ipmi, to install under
  gIpmiTransportProtocolGuid. The bridge serves one IPMI_PROTOCOL: a later
  call with another one is refused.

  @param[in]  Ipmi  The IPMI_PROTOCOL found.

  @return The interface, or NULL when Ipmi is NULL or another IPMI_PROTOCOL
          was given before.
**/
IPMI_TRANSPORT_PROTOCOL *
IpmiBridgeTransport (
  IN IPMI_PROTOCOL  *Ipmi
  );

extern "C" {
/**
  The bridge's entry point: waits for IPMI_PROTOCOL (already installed or
  installed later) and then installs the transport once.

  @retval EFI_SUCCESS  Waiting, or installed.
  @retval other        The notification could not be set up.
**/
EFI_STATUS
EFIAPI
IpmiProtocolBridgeEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  );
}

#endif
