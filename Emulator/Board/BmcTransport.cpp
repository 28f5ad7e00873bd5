/** @file
  The emulated IPMI transport with one-byte sizes.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "BmcTransport.h"
#include "EmulatedBmc.h"
#include "ShapeCheck.h"
#include "Core/FirmwareAssert.h"

#include <cstring>
#include <map>

namespace Emu {

namespace {

///
/// Which transport owns which interface: the entry point below has only the
/// interface pointer to go by.
///
std::map<const IPMI_TRANSPORT_PROTOCOL *, BmcTransport *> &
Owners ()
{
  static std::map<const IPMI_TRANSPORT_PROTOCOL *, BmcTransport *>  Table;

  return Table;
}

//
// The call as the driver makes it (IPMI_SEND_ANY_SHAPE): the whole request
// size slot and the 32-bit response size object are checked, then only
// their low bytes are used, as a transport of this shape uses them.
//
EFI_STATUS EFIAPI
TransportSend (
  IPMI_TRANSPORT_PROTOCOL  *This,
  UINT8                    NetFunction,
  UINT8                    Lun,
  UINT8                    Command,
  UINT8                    *CommandData,
  UINTN                    CommandDataSlot,
  UINT8                    *ResponseData,
  UINT32                   *ResponseDataSize
  )
{
  auto  Owner = Owners ().find (This);

  if (Owner == Owners ().end ()) {
    FirmwareAssert ("IPMI transport called through an interface no BMC owns");
  }

  CheckCallShape ("IPMI transport (one-byte sizes)", CommandDataSlot, ResponseDataSize);
  return Owner->second->Send (
                          This,
                          NetFunction,
                          Lun,
                          Command,
                          CommandData,
                          static_cast<UINT8>(CommandDataSlot),
                          ResponseData,
                          reinterpret_cast<UINT8 *>(ResponseDataSize)
                          );
}

}  // namespace

BmcTransport::BmcTransport (EmulatedBmc &Bmc)
  : mBmc (Bmc)
{
  mInterface.Revision        = 0x0000000100000000ULL;
  mInterface.SendIpmiCommand = reinterpret_cast<IPMI_SEND_COMMAND>(TransportSend);
  Owners ()[&mInterface]     = this;
}

BmcTransport::~BmcTransport ()
{
  Owners ().erase (&mInterface);
}

EFI_STATUS
BmcTransport::Send (
  IPMI_TRANSPORT_PROTOCOL  *This,
  UINT8                    NetFunction,
  UINT8                    Lun,
  UINT8                    Command,
  const UINT8              *CommandData,
  UINT8                    CommandDataSize,
  UINT8                    *ResponseData,
  UINT8                    *ResponseDataSize
  )
{
  const Bytes  *Response = nullptr;
  IpmiCall     Call      = ReceivedIpmiCall (This, &mInterface, NetFunction, Lun, Command, CommandData, CommandDataSize,
                                             ResponseData, ResponseDataSize, (ResponseDataSize != nullptr) ? *ResponseDataSize : 0);

  EFI_STATUS  Status = mBmc.Exchange (Call, &Response);
  if (Response != nullptr) {
    if (!Response->empty ()) {
      std::memcpy (ResponseData, Response->data (), Response->size ());
    }

    *ResponseDataSize = static_cast<UINT8>(Response->size ());
    PoisonPastReply (ResponseData, *ResponseDataSize, Call.Capacity);
  }

  return Status;
}

}
