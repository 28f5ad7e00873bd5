/** @file
  The emulated IPMI_PROTOCOL (MdeModulePkg's interface), behaving as EDK2's
  own IPMI driver over KCS (ManageabilityPkg's IpmiProtocolDxe) was measured
  to behave, in front of the same emulated BMC as the board's other
  transports. The third transport shape: the board installs it and loads
  IpmiProtocolBridgeDxe over it.

  - Every request goes to LUN 0.
  - A reply exactly as long as the response area: EFI_SUCCESS with its
    length, unless its completion code is not 0x00, 0xC0 or 0xC1: then
    EFI_NOT_FOUND, the reply in the area.
  - A reply shorter than the area: EFI_DEVICE_ERROR, the reply's bytes in the
    area, the size left as given (busy 0x81 in a larger area included; no
    retry).
  - A reply longer than the area: the area filled with its first bytes, the
    status as for an exact reply, and the interface wedged: every later call
    is EFI_NOT_READY at once, nothing sent, until the board starts a new
    boot.
  - An empty reply: EFI_SUCCESS with a length of 0, the area untouched.
  - No BMC (SetBmcPresent (false)), or a transport error of the BMC's fault
    plan: that error (EFI_DEVICE_ERROR for no BMC) at once, the area
    untouched.
  - A response area of 0 bytes or a NULL pointer: EFI_INVALID_PARAMETER,
    nothing sent.

  The area the caller handed over is recorded as the request's capacity
  (BmcRequest::Capacity). A call through an interface no board owns stops
  the processor.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_BMC_IPMI_PROTOCOL_H_
#define EMU_BMC_IPMI_PROTOCOL_H_

#include <Protocol/IpmiProtocol.h>

namespace Emu {

class EmulatedBmc;

class BmcIpmiProtocol {
public:
  explicit BmcIpmiProtocol (EmulatedBmc &Bmc);
  ~BmcIpmiProtocol ();
  BmcIpmiProtocol (const BmcIpmiProtocol &) = delete;
  BmcIpmiProtocol &operator= (const BmcIpmiProtocol &) = delete;

  ///
  /// The interface the platform installs under gIpmiProtocolGuid.
  ///
  IPMI_PROTOCOL *Interface () { return &mInterface; }

  ///
  /// Serve one call through the interface.
  ///
  EFI_STATUS     Submit (IPMI_PROTOCOL *This, UINT8 NetFunction, UINT8 Command, const UINT8 *RequestData, UINT32 RequestDataSize, UINT8 *ResponseData, UINT32 *ResponseDataSize);

  ///
  /// True once a reply was longer than its area, until Reset.
  ///
  bool           Wedged () const { return mWedged; }
  UINT64         WedgedCalls () const { return mWedgedCalls; }   ///< calls refused while wedged

  void           SetBmcPresent (bool Present) { mBmcPresent = Present; }

  ///
  /// A new boot: the interface is no longer wedged.
  ///
  void           Reset () { mWedged = false; }

private:
  EmulatedBmc    &mBmc;
  IPMI_PROTOCOL  mInterface;
  bool           mWedged = false;
  bool           mBmcPresent = true;
  UINT64         mWedgedCalls = 0;
};

}

#endif
