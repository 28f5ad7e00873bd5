/** @file
  The emulated IPMI transport in the shape the driver uses: a 64-bit
  revision, then SendIpmiCommand with one-byte request and response sizes.

  The transport owns its interface and hands every exchange to the BMC it
  was built with. A call through an interface no transport owns (a copy, or
  one that outlived its board) stops the processor, as a transport's
  signature check would. Another shape of the protocol is one more class
  like this one, handing its calls to the same BMC.

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
