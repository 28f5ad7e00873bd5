/** @file
  What both emulated IPMI transports check on every call, and the poison
  they leave in the response area.

  The driver calls any transport as Protocol/IpmiTransport.h's
  IPMI_SEND_ANY_SHAPE describes, so both emulated transports take the call
  in that shape: the request size as the whole 8-byte argument slot and the
  response size as a pointer to a 32-bit object. Whatever shape a transport
  presents, the caller must have zero-extended the request size into its
  slot, and must hand a 4-byte-aligned response size object whose upper
  three bytes are zero (the capacity fits its low byte). A call that breaks
  this stops the processor with the rule named, as a transport that checks
  its arguments would fail loudly.

  After a reply is stored, every byte of the response area past the length
  reported, up to and including the byte past the capacity, is written with
  POISON_BYTE: a caller that takes a byte the transport did not report as
  part of the reply takes poison. The two header bytes (completion code and
  count) of a reply reported shorter than that are left as the caller set
  them: the driver clears its response area before every send and reads an
  empty or code-only reply through those cleared bytes.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_SHAPE_CHECK_H_
#define EMU_SHAPE_CHECK_H_

#include <Uefi.h>

namespace Emu {

constexpr UINT8   POISON_BYTE       = 0xA5;
constexpr UINT32  REPLY_HEADER_SIZE = 2;     ///< completion code and count byte

///
/// Stop the processor unless the request size slot and the response size
/// object are as every shape needs them. Shape names the transport.
///
void  CheckCallShape (const char *Shape, UINT64 RequestSlot, const UINT32 *ResponseSize);

///
/// Poison ResponseData[max (Reported, REPLY_HEADER_SIZE) .. Capacity]
/// (index Capacity is the slack byte).
///
void  PoisonPastReply (UINT8 *ResponseData, UINT32 Reported, UINT32 Capacity);

}

#endif
