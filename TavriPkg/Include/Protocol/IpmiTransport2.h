/** @file
  IPMI_TRANSPORT2: the second interface shape published under the IPMI
  transport GUID, as edk2-platforms' IpmiFeaturePkg (GenericIpmi) installs it.

  It begins like IPMI_TRANSPORT_PROTOCOL (Protocol/IpmiTransport.h): a 64-bit
  revision, then the send function at offset 8, with the same arguments except
  the two sizes, which are UINT32 here. After it come members that callers of
  the send function do not need; they are laid out here only as far as their
  offsets and the size of the whole interface, so that an interface built from
  this header matches the published one byte for byte.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef IPMI_TRANSPORT2_PROTOCOL_H_
#define IPMI_TRANSPORT2_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>
#include <Protocol/IpmiTransport.h>

///
/// The same GUID as the transport of Protocol/IpmiTransport.h: a consumer
/// cannot tell the two shapes apart by the GUID.
///
#define IPMI_TRANSPORT2_PROTOCOL_GUID  IPMI_TRANSPORT_PROTOCOL_GUID

typedef struct _IPMI_TRANSPORT2  IPMI_TRANSPORT2;

///
/// Values of IPMI_TRANSPORT2.InterfaceType and of the last argument of
/// IpmiSubmitCommand2Ex.
///
enum : UINT32 {
  Ipmi2InterfaceUnknown = 0,
  Ipmi2InterfaceKcs     = 1,
  Ipmi2InterfaceSmic    = 2,
  Ipmi2InterfaceBt      = 3,
  Ipmi2InterfaceSsif    = 4,
  Ipmi2InterfaceIpmb    = 5
};

///
/// Values of IPMI_TRANSPORT2.BmcStatus.
///
enum : UINT32 {
  Ipmi2BmcStatusOk                = 0,
  Ipmi2BmcStatusSoftFail          = 1,
  Ipmi2BmcStatusHardFail          = 2,
  Ipmi2BmcStatusUpdateInProgress  = 3
};

/**
  Send one IPMI request to the BMC and receive its response.

  @param[in]      This              The transport.
  @param[in]      NetFunction       Network function of the request.
  @param[in]      Lun               Logical unit of the request.
  @param[in]      Command           Command of the request.
  @param[in]      CommandData       Request data bytes.
  @param[in]      CommandDataSize   Number of request data bytes.
  @param[out]     ResponseData      Response: completion code, then the rest.
  @param[in,out]  ResponseDataSize  In: capacity of ResponseData. Out: length.

  @retval EFI_SUCCESS       Completion code 0x00; ResponseData[0] holds it.
  @retval EFI_DEVICE_ERROR  The exchange failed, or the BMC answered with a
                            non-zero completion code (ResponseData untouched).
  @retval other error       The exchange itself failed.
**/
typedef EFI_STATUS (EFIAPI *IPMI_SUBMIT_COMMAND2)(
  IN     IPMI_TRANSPORT2  *This,
  IN     UINT8            NetFunction,
  IN     UINT8            Lun,
  IN     UINT8            Command,
  IN     UINT8            *CommandData,
  IN     UINT32           CommandDataSize,
  OUT    UINT8            *ResponseData,
  IN OUT UINT32           *ResponseDataSize
  );

/**
  IpmiSubmitCommand2 through a chosen system interface (Ipmi2Interface*).
**/
typedef EFI_STATUS (EFIAPI *IPMI_SUBMIT_COMMAND2_EX)(
  IN     IPMI_TRANSPORT2  *This,
  IN     UINT8            NetFunction,
  IN     UINT8            Lun,
  IN     UINT8            Command,
  IN     UINT8            *CommandData,
  IN     UINT32           CommandDataSize,
  OUT    UINT8            *ResponseData,
  IN OUT UINT32           *ResponseDataSize,
  IN     UINT32           InterfaceType
  );

///
/// Size of the per-interface state (KCS, BT, SSIF, IPMB) the published
/// interface carries after the two send functions; 8-byte aligned.
///
constexpr UINTN  IPMI_TRANSPORT2_INTERFACE_STATE_SIZE = 128;

struct _IPMI_TRANSPORT2 {
  UINT64                     Revision;
  IPMI_SUBMIT_COMMAND2       IpmiSubmitCommand2;
  IPMI_SUBMIT_COMMAND2_EX    IpmiSubmitCommand2Ex;
  UINT64                     InterfaceState[IPMI_TRANSPORT2_INTERFACE_STATE_SIZE / sizeof (UINT64)];
  UINT32                     InterfaceType;       ///< Ipmi2Interface*
  UINT32                     BmcStatus;           ///< Ipmi2BmcStatus*
  EFI_HANDLE                 IpmiHandle;          ///< The handle the interface is installed on.
  UINT8                      CompletionCode;      ///< Of the last response.
};

static_assert (OFFSET_OF (IPMI_TRANSPORT2, IpmiSubmitCommand2) == 8, "the send function at offset 8, as in IPMI_TRANSPORT_PROTOCOL");
static_assert (OFFSET_OF (IPMI_TRANSPORT2, IpmiSubmitCommand2Ex) == 16, "published layout");
static_assert (OFFSET_OF (IPMI_TRANSPORT2, InterfaceState) == 24, "published layout");
static_assert (OFFSET_OF (IPMI_TRANSPORT2, InterfaceType) == 152, "published layout");
static_assert (OFFSET_OF (IPMI_TRANSPORT2, BmcStatus) == 156, "published layout");
static_assert (OFFSET_OF (IPMI_TRANSPORT2, IpmiHandle) == 160, "published layout");
static_assert (OFFSET_OF (IPMI_TRANSPORT2, CompletionCode) == 168, "published layout");
static_assert (sizeof (IPMI_TRANSPORT2) == 176, "published layout");
static_assert (OFFSET_OF (IPMI_TRANSPORT2, IpmiSubmitCommand2) == OFFSET_OF (IPMI_TRANSPORT_PROTOCOL, SendIpmiCommand),
               "both shapes have the send function at the same offset");

#endif
