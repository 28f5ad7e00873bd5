/** @file
  The KCS system interface of the BMC at ports 0xCA2 (data) and 0xCA3 (status
  and command), shared by both faces of the KCS IPMI transport: the shape this
  project's drivers call (KcsIpmiDxe.cpp) and IPMI_TRANSPORT2
  (KcsIpmiTransport2.cpp).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef KCS_INTERFACE_H_
#define KCS_INTERFACE_H_

#include <Uefi.h>

constexpr UINTN  KCS_MAX_MESSAGE      = 272;                   ///< NetFn/LUN, command, up to 270 bytes
constexpr UINTN  KCS_MAX_REQUEST_DATA = KCS_MAX_MESSAGE - 2;
constexpr UINTN  KCS_RESPONSE_HEADER  = 2;                     ///< NetFn/LUN and command before the completion code

/**
  Send one IPMI request over KCS and read the BMC's response. On an error of
  the interface the transfer is aborted, so that the next one starts idle.

  @param[in]   NetFunction      Network function of the request.
  @param[in]   Lun              Logical unit of the request.
  @param[in]   Command          Command of the request.
  @param[in]   CommandData      Request data bytes.
  @param[in]   CommandDataSize  Number of request data bytes.
  @param[out]  Message          The response as the BMC sent it: NetFn/LUN,
                                command, completion code, data.
  @param[out]  Length           Bytes of Message, at least 3 on success.

  @retval EFI_SUCCESS            A response to this command, with its
                                 completion code.
  @retval EFI_INVALID_PARAMETER  More than KCS_MAX_REQUEST_DATA request bytes,
                                 or none given for a non-zero size.
  @retval EFI_BUFFER_TOO_SMALL   The response is longer than KCS_MAX_MESSAGE.
  @retval EFI_DEVICE_ERROR       The interface failed or did not answer, or
                                 the response is not one to this command.
**/
EFI_STATUS
KcsExchange (
  IN  UINT8        NetFunction,
  IN  UINT8        Lun,
  IN  UINT8        Command,
  IN  CONST UINT8  *CommandData,
  IN  UINTN        CommandDataSize,
  OUT UINT8        (&Message)[KCS_MAX_MESSAGE],
  OUT UINTN        *Length
  );

#endif
