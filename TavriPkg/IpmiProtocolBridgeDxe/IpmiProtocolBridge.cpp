/** @file
  The bridge's send function: one call of the transport shape this project's
  drivers use, carried as one call of IPMI_PROTOCOL.

  EDK2's IPMI_PROTOCOL driver over KCS (ManageabilityPkg) succeeds only when
  the response area is exactly as long as the reply; a longer area fails with
  EFI_DEVICE_ERROR but holds the reply, and a shorter one returns the reply
  cut and leaves the KCS interface in the middle of a read, so that every
  later call fails for the rest of the boot. Some non-zero completion codes
  come back as EFI_SUCCESS, others as its own error status. So each call is
  translated thus:

  - The area handed over is never shorter than the reply can be: the exact
    reply size where the command fixes it, else the largest
    (IpmiBridgeResponseArea). It is filled with IPMI_BRIDGE_MARKER first.
  - EFI_SUCCESS: the reply is the length returned (at least the completion
    code, or the call fails with EFI_DEVICE_ERROR).
  - An error with the first byte changed: the reply arrived (busy, a short
    Read FRU Data reply, a completion code the driver maps to its own
    status). Its length is the area up to the last byte that is not the
    marker, and for Read FRU Data with completion code 0x00 no more than the
    count byte says.
  - An error with the first byte still the marker: nothing arrived (no BMC,
    a wedged interface); that status is returned at once.
  - The caller gets the completion code first and at most its capacity; a
    longer reply is EFI_BUFFER_TOO_SMALL with the first bytes given.
  - A request for a LUN other than 0, which IPMI_PROTOCOL cannot carry, is
    EFI_UNSUPPORTED, nothing sent.

  A reply that arrived is EFI_SUCCESS to the caller, whatever its completion
  code: a busy reply reaches TavriDxe as busy, and TavriDxe waits it out.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "IpmiProtocolBridgeDxe.h"

#include <IndustryStandard/IpmiFru.h>

static_assert (IPMI_BRIDGE_LARGEST_RESPONSE >= 0xFF + IPMI_READ_FRU_DATA_RESPONSE_HEADER, "the largest area holds any Read FRU Data reply");
static_assert ((IPMI_BRIDGE_MARKER >= 0xD7) && (IPMI_BRIDGE_MARKER <= 0xFE), "the marker is a reserved completion code");

STATIC IPMI_PROTOCOL  *mBridgeIpmi = NULL;

UINT32
IpmiBridgeResponseArea (
  IN UINT8        NetFunction,
  IN UINT8        Command,
  IN CONST UINT8  *CommandData,
  IN UINTN        CommandDataSize
  )
{
  if (NetFunction == IPMI_NETFN_STORAGE) {
    if ((Command == IPMI_STORAGE_READ_FRU_DATA) && (CommandDataSize == sizeof (IPMI_READ_FRU_DATA_REQUEST))) {
      return static_cast<UINT32>(IPMI_READ_FRU_DATA_RESPONSE_HEADER + CommandData[OFFSET_OF (IPMI_READ_FRU_DATA_REQUEST, CountToRead)]);
    }

    if ((Command == IPMI_STORAGE_WRITE_FRU_DATA) && (CommandDataSize > IPMI_WRITE_FRU_DATA_REQUEST_HEADER)) {
      return static_cast<UINT32>(IPMI_WRITE_FRU_DATA_RESPONSE_SIZE);
    }

    if ((Command == IPMI_STORAGE_GET_FRU_INVENTORY_AREA_INFO) && (CommandDataSize == IPMI_GET_FRU_INVENTORY_AREA_INFO_REQUEST_SIZE)) {
      return static_cast<UINT32>(IPMI_GET_FRU_INVENTORY_AREA_INFO_RESPONSE_SIZE);
    }
  }

  return IPMI_BRIDGE_LARGEST_RESPONSE;
}

/**
  The length of a reply that arrived with an error status: the area up to
  its last byte that is not the marker (at least the completion code), for a
  Read FRU Data reply with completion code 0x00 no more than the count byte
  says came.
**/
STATIC
UINT32
ArrivedLength (
  IN UINT8        NetFunction,
  IN UINT8        Command,
  IN CONST UINT8  *Area,
  IN UINT32       AreaSize
  )
{
  UINT32  Length = AreaSize;

  while ((Length > 1) && (Area[Length - 1] == IPMI_BRIDGE_MARKER)) {
    Length--;
  }

  if ((NetFunction == IPMI_NETFN_STORAGE) && (Command == IPMI_STORAGE_READ_FRU_DATA) &&
      (Area[0] == IPMI_COMP_CODE_NORMAL) && (Length >= IPMI_READ_FRU_DATA_RESPONSE_HEADER))
  {
    UINT32  Claimed = static_cast<UINT32>(IPMI_READ_FRU_DATA_RESPONSE_HEADER + Area[1]);
    if (Claimed < Length) {
      Length = Claimed;
    }
  }

  return Length;
}

/**
  Send one request through IPMI_PROTOCOL; see the file header.

  @param[in]      This              The bridge's transport interface.
  @param[in]      NetFunction       Network function of the request.
  @param[in]      Lun               Logical unit: only 0 can be carried.
  @param[in]      Command           Command of the request.
  @param[in]      CommandData       Request data bytes.
  @param[in]      CommandDataSize   Number of request data bytes.
  @param[out]     ResponseData      Completion code, then the data.
  @param[in,out]  ResponseDataSize  In: capacity. Out: bytes given.

  @retval EFI_SUCCESS            A reply arrived; ResponseData[0] holds its
                                 completion code.
  @retval EFI_BUFFER_TOO_SMALL   The reply is longer than the capacity: its
                                 first bytes are given. Also for a capacity
                                 of 0, nothing sent.
  @retval EFI_INVALID_PARAMETER  This is not the bridge's interface, a
                                 response pointer is NULL, or request data are
                                 missing; nothing sent.
  @retval EFI_UNSUPPORTED        Lun is not 0; nothing sent.
  @retval EFI_DEVICE_ERROR       A reply without a completion code.
  @retval other error            IPMI_PROTOCOL's status when no reply
                                 arrived.
**/
STATIC
EFI_STATUS
EFIAPI
BridgeSendIpmiCommand (
  IN     IPMI_TRANSPORT_PROTOCOL  *This,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINT8                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT8                    *ResponseDataSize
  );

STATIC IPMI_TRANSPORT_PROTOCOL  mBridgeTransport = {
  IPMI_BRIDGE_TRANSPORT_REVISION,
  BridgeSendIpmiCommand
};

STATIC
EFI_STATUS
EFIAPI
BridgeSendIpmiCommand (
  IN     IPMI_TRANSPORT_PROTOCOL  *This,
  IN     UINT8                    NetFunction,
  IN     UINT8                    Lun,
  IN     UINT8                    Command,
  IN     UINT8                    *CommandData,
  IN     UINT8                    CommandDataSize,
  OUT    UINT8                    *ResponseData,
  IN OUT UINT8                    *ResponseDataSize
  )
{
  UINT8       Area[IPMI_BRIDGE_LARGEST_RESPONSE];
  UINT32      AreaSize;
  UINT32      Size;
  UINT32      Length;
  UINT32      Given;
  EFI_STATUS  Status;

  if ((This != &mBridgeTransport) || (mBridgeIpmi == NULL) || (ResponseData == NULL) || (ResponseDataSize == NULL) ||
      ((CommandDataSize > 0) && (CommandData == NULL)))
  {
    return EFI_INVALID_PARAMETER;
  }

  if (Lun != IPMI_BMC_LUN) {
    return EFI_UNSUPPORTED;
  }

  if (*ResponseDataSize == 0) {
    return EFI_BUFFER_TOO_SMALL;
  }

  AreaSize = IpmiBridgeResponseArea (NetFunction, Command, CommandData, CommandDataSize);
  for (UINT32 Index = 0; Index < AreaSize; Index++) {
    Area[Index] = IPMI_BRIDGE_MARKER;
  }

  Size   = AreaSize;
  Status = mBridgeIpmi->IpmiSubmitCommand (mBridgeIpmi, NetFunction, Command, CommandData, CommandDataSize, Area, &Size);
  if (!EFI_ERROR (Status)) {
    Length = (Size < AreaSize) ? Size : AreaSize;
    if (Length == 0) {
      return EFI_DEVICE_ERROR;
    }
  } else if (Area[0] == IPMI_BRIDGE_MARKER) {
    return Status;
  } else {
    Length = ArrivedLength (NetFunction, Command, Area, AreaSize);
  }

  Given = (Length < *ResponseDataSize) ? Length : *ResponseDataSize;
  for (UINT32 Index = 0; Index < Given; Index++) {
    ResponseData[Index] = Area[Index];
  }

  *ResponseDataSize = static_cast<UINT8>(Given);
  return (Given < Length) ? EFI_BUFFER_TOO_SMALL : EFI_SUCCESS;
}

IPMI_TRANSPORT_PROTOCOL *
IpmiBridgeTransport (
  IN IPMI_PROTOCOL  *Ipmi
  )
{
  if ((Ipmi == NULL) || ((mBridgeIpmi != NULL) && (mBridgeIpmi != Ipmi))) {
    return NULL;
  }

  mBridgeIpmi = Ipmi;
  return &mBridgeTransport;
}
