/** @file
  The emulated IPMI transport in the shape the driver uses: a 64-bit
  revision, then SendIpmiCommand with one-byte request and response sizes.

  The transport owns its interface and hands every exchange to the BMC it
  was built with. A call through an interface no transport owns (a copy, or
  one that outlived its board) stops the processor, as a transport's
  signature check would. The other published shape is BmcTransport2,
  handing its calls to the same BMC.

  Its entry point takes the call as IPMI_SEND_ANY_SHAPE does, so that it can
  check what a one-byte transport never reads (ShapeCheck.h): the request
  size slot above its low byte and the three bytes of the response size
  object above the capacity. It reads and writes only the low byte of each,
  as a transport of this shape does, and poisons the response area past the
  reply it reports.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_BMC_TRANSPORT_H_
#define EMU_BMC_TRANSPORT_H_

#include <Protocol/IpmiTransport.h>

namespace Emu {

class EmulatedBmc;

class BmcTransport {
public:
  explicit BmcTransport (EmulatedBmc &Bmc);
  ~BmcTransport ();
  BmcTransport (const BmcTransport &) = delete;
  BmcTransport &operator= (const BmcTransport &) = delete;

  ///
  /// The interface the platform installs under the transport GUID.
  ///
  IPMI_TRANSPORT_PROTOCOL *Interface () { return &mInterface; }

  ///
  /// Serve one call through the interface.
  ///
  EFI_STATUS   Send (IPMI_TRANSPORT_PROTOCOL *This, UINT8 NetFunction, UINT8 Lun, UINT8 Command, const UINT8 *CommandData, UINT8 CommandDataSize, UINT8 *ResponseData, UINT8 *ResponseDataSize);

private:
  EmulatedBmc              &mBmc;
  IPMI_TRANSPORT_PROTOCOL   mInterface;
};

}

#endif
