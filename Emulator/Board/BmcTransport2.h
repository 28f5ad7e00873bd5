/** @file
  The emulated IPMI transport in the IPMI_TRANSPORT2 shape
  (Protocol/IpmiTransport2.h), behaving as the published GenericIpmi
  transport does, in front of the same emulated BMC as BmcTransport:

  - both sizes are UINT32, read and written whole;
  - the BMC's reply may be one byte longer than the capacity given: it is
    stored whole, in the byte past the capacity too, and its length
    reported; a longer reply is EFI_BUFFER_TOO_SMALL with nothing stored;
  - a reply whose completion code is not 0x00 is EFI_DEVICE_ERROR, with the
    response area and the response size untouched (the code is kept in the
    interface's CompletionCode member), and so is an empty reply;
  - on success the completion code is byte 0 of the response, the data after
    it, and the area past the reply is poisoned (ShapeCheck.h).

  Its entry point checks the request size slot and the response size object
  as BmcTransport's does. A call through an interface no transport owns
  stops the processor.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_BMC_TRANSPORT2_H_
#define EMU_BMC_TRANSPORT2_H_

#include <Protocol/IpmiTransport2.h>

namespace Emu {

class EmulatedBmc;

class BmcTransport2 {
public:
  explicit BmcTransport2 (EmulatedBmc &Bmc);
  ~BmcTransport2 ();
  BmcTransport2 (const BmcTransport2 &) = delete;
  BmcTransport2 &operator= (const BmcTransport2 &) = delete;

  ///
  /// The interface the platform installs under the transport GUID.
  ///
  IPMI_TRANSPORT2 *Interface () { return &mInterface; }

  ///
  /// Serve one call through the interface.
  ///
  EFI_STATUS   Send (IPMI_TRANSPORT2 *This, UINT8 NetFunction, UINT8 Lun, UINT8 Command, const UINT8 *CommandData, UINT32 CommandDataSize, UINT8 *ResponseData, UINT32 *ResponseDataSize);

private:
  EmulatedBmc       &mBmc;
  IPMI_TRANSPORT2   mInterface;
};

}

#endif
