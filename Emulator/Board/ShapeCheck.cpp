/** @file
  The checks and the poison both emulated IPMI transports apply.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "ShapeCheck.h"
#include "Core/FirmwareAssert.h"
#include "Core/Names.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace Emu {

void
CheckCallShape (
  const char    *Shape,
  UINT64        RequestSlot,
  const UINT32  *ResponseSize
  )
{
  auto  Who = [Shape]() { return std::string (Shape) + ": "; };

  if ((RequestSlot >> 8) != 0) {
    FirmwareAssert (Who () + "request size slot " + Hex (RequestSlot, 16) + " has bytes above the low one set");
  }

  if (ResponseSize == nullptr) {
    return;
  }

  if ((reinterpret_cast<uintptr_t>(ResponseSize) % alignof (UINT32)) != 0) {
    FirmwareAssert (Who () + "response size object not 4-byte aligned");
  }

  //
  // Read as four bytes, as a UINT32 transport reads it.
  //
  UINT8  Object[sizeof (UINT32)];
  std::memcpy (Object, ResponseSize, sizeof (Object));
  if ((Object[1] | Object[2] | Object[3]) != 0) {
    FirmwareAssert (Who () + "response size object has its upper three bytes set");
  }
}

void
PoisonPastReply (
  UINT8   *ResponseData,
  UINT32  Reported,
  UINT32  Capacity
  )
{
  UINT32  From = (Reported < REPLY_HEADER_SIZE) ? REPLY_HEADER_SIZE : Reported;

  if (From <= Capacity) {
    std::memset (ResponseData + From, POISON_BYTE, Capacity - From + 1);
  }
}

}
