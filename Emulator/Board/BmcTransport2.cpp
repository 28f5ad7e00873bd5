/** @file
  The emulated IPMI transport with 32-bit sizes.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "BmcTransport2.h"
#include "EmulatedBmc.h"
#include "ShapeCheck.h"
#include "Core/FirmwareAssert.h"

#include <cstring>
#include <map>

namespace Emu {

namespace {

constexpr UINT64  TRANSPORT2_REVISION = 1;

///
/// Which transport owns which interface.
///
std::map<const IPMI_TRANSPORT2 *, BmcTransport2 *> &
Owners ()
{
  static std::map<const IPMI_TRANSPORT2 *, BmcTransport2 *>  Table;

  return Table;
}

BmcTransport2 &
OwnerOf (IPMI_TRANSPORT2 *This)
{
  auto  Owner = Owners ().find (This);

  if (Owner == Owners ().end ()) {
    FirmwareAssert ("IPMI transport (32-bit sizes) called through an interface no BMC owns");
  }

  return *Owner->second;
}

//
// IpmiSubmitCommand2 as the driver calls it (IPMI_SEND_ANY_SHAPE): the
// request size slot is checked whole, then its low 32 bits are the size, as
// this shape reads it.
//
EFI_STATUS EFIAPI
SubmitCommand2 (
  IPMI_TRANSPORT2  *This,
  UINT8            NetFunction,
  UINT8            Lun,
  UINT8            Command,
  UINT8            *CommandData,
  UINTN            CommandDataSlot,
  UINT8            *ResponseData,
  UINT32           *ResponseDataSize
  )
{
  BmcTransport2  &Owner = OwnerOf (This);

  CheckCallShape ("IPMI transport (32-bit sizes)", CommandDataSlot, ResponseDataSize);
  return Owner.Send (This, NetFunction, Lun, Command, CommandData, static_cast<UINT32>(CommandDataSlot), ResponseData, ResponseDataSize);
}

EFI_STATUS EFIAPI
SubmitCommand2Ex (
  IPMI_TRANSPORT2  *This,
  UINT8            NetFunction,
  UINT8            Lun,
  UINT8            Command,
  UINT8            *CommandData,
  UINT32           CommandDataSize,
  UINT8            *ResponseData,
  UINT32           *ResponseDataSize,
  UINT32           InterfaceType
  )
{
  BmcTransport2  &Owner = OwnerOf (This);

  if (InterfaceType != Ipmi2InterfaceKcs) {
    return EFI_UNSUPPORTED;
  }

  return Owner.Send (This, NetFunction, Lun, Command, CommandData, CommandDataSize, ResponseData, ResponseDataSize);
}

}  // namespace

BmcTransport2::BmcTransport2 (EmulatedBmc &Bmc)
  : mBmc (Bmc)
{
  std::memset (&mInterface, 0, sizeof (mInterface));
  mInterface.Revision             = TRANSPORT2_REVISION;
  mInterface.IpmiSubmitCommand2   = reinterpret_cast<IPMI_SUBMIT_COMMAND2>(SubmitCommand2);
  mInterface.IpmiSubmitCommand2Ex = SubmitCommand2Ex;
  mInterface.InterfaceType        = Ipmi2InterfaceKcs;
  mInterface.BmcStatus            = Ipmi2BmcStatusOk;
  Owners ()[&mInterface]          = this;
}

BmcTransport2::~BmcTransport2 ()
{
  Owners ().erase (&mInterface);
}

EFI_STATUS
BmcTransport2::Send (
  IPMI_TRANSPORT2  *This,
  UINT8            NetFunction,
  UINT8            Lun,
  UINT8            Command,
  const UINT8      *CommandData,
  UINT32           CommandDataSize,
  UINT8            *ResponseData,
  UINT32           *ResponseDataSize
  )
{
  const Bytes  *Response = nullptr;
  UINT32       Capacity  = (ResponseDataSize != nullptr) ? *ResponseDataSize : 0;
  IpmiCall     Call      = ReceivedIpmiCall (This, &mInterface, NetFunction, Lun, Command, CommandData, CommandDataSize,
                                             ResponseData, ResponseDataSize, Capacity);

  //
  // Room for one byte more than the capacity given: this shape takes a reply
  // one byte longer than it was told there is room for.
  //
  Call.Slack = 1;

  EFI_STATUS  Status = mBmc.Exchange (Call, &Response);
  if (Response == nullptr) {
    return Status;
  }

  if (Response->empty ()) {
    return EFI_DEVICE_ERROR;
  }

  mInterface.CompletionCode = Response->front ();
  if (Response->front () != 0x00) {
    return EFI_DEVICE_ERROR;
  }

  std::memcpy (ResponseData, Response->data (), Response->size ());
  *ResponseDataSize = static_cast<UINT32>(Response->size ());
  PoisonPastReply (ResponseData, *ResponseDataSize, Capacity);
  return Status;
}

}
