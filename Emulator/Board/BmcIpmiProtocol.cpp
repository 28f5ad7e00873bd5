/** @file
  The emulated IPMI_PROTOCOL with the behaviour measured of EDK2's driver.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "BmcIpmiProtocol.h"
#include "EmulatedBmc.h"
#include "Core/FirmwareAssert.h"

#include <cstring>
#include <map>

namespace Emu {

namespace {

///
/// Bytes of reply the emulated BMC may send, whatever the area given: the
/// stand-in receives the whole reply and then applies its own rules.
///
constexpr size_t  ANY_REPLY = 0x10000;

std::map<const IPMI_PROTOCOL *, BmcIpmiProtocol *> &
Owners ()
{
  static std::map<const IPMI_PROTOCOL *, BmcIpmiProtocol *>  Table;

  return Table;
}

EFI_STATUS EFIAPI
SubmitCommand (
  IPMI_PROTOCOL  *This,
  UINT8          NetFunction,
  UINT8          Command,
  UINT8          *RequestData,
  UINT32         RequestDataSize,
  UINT8          *ResponseData,
  UINT32         *ResponseDataSize
  )
{
  auto  Owner = Owners ().find (This);

  if (Owner == Owners ().end ()) {
    FirmwareAssert ("IPMI_PROTOCOL called through an interface no BMC owns");
  }

  return Owner->second->Submit (This, NetFunction, Command, RequestData, RequestDataSize, ResponseData, ResponseDataSize);
}

//
// EDK2's driver knows these completion codes; any other one in a reply that
// fills the area is EFI_NOT_FOUND.
//
EFI_STATUS
CompletionCodeStatus (UINT8 Code)
{
  return ((Code == 0x00) || (Code == 0xC0) || (Code == 0xC1)) ? EFI_SUCCESS : EFI_NOT_FOUND;
}

}  // namespace

BmcIpmiProtocol::BmcIpmiProtocol (EmulatedBmc &Bmc)
  : mBmc (Bmc)
{
  mInterface.IpmiSubmitCommand = SubmitCommand;
  Owners ()[&mInterface]       = this;
}

BmcIpmiProtocol::~BmcIpmiProtocol ()
{
  Owners ().erase (&mInterface);
}

EFI_STATUS
BmcIpmiProtocol::Submit (
  IPMI_PROTOCOL  *This,
  UINT8          NetFunction,
  UINT8          Command,
  const UINT8    *RequestData,
  UINT32         RequestDataSize,
  UINT8          *ResponseData,
  UINT32         *ResponseDataSize
  )
{
  if ((ResponseData == nullptr) || (ResponseDataSize == nullptr) || (*ResponseDataSize == 0)) {
    return EFI_INVALID_PARAMETER;
  }

  if (mWedged) {
    mWedgedCalls++;
    return EFI_NOT_READY;
  }

  if (!mBmcPresent) {
    return EFI_DEVICE_ERROR;
  }

  const Bytes  *Response = nullptr;
  UINT32       Area      = *ResponseDataSize;
  IpmiCall     Call      = ReceivedIpmiCall (This, &mInterface, NetFunction, 0, Command, RequestData, RequestDataSize,
                                             ResponseData, ResponseDataSize, Area);

  Call.Slack = ANY_REPLY;
  EFI_STATUS  Status = mBmc.Exchange (Call, &Response);
  if (Response == nullptr) {
    return EFI_ERROR (Status) ? Status : EFI_DEVICE_ERROR;
  }

  UINT32  Reply  = static_cast<UINT32>(Response->size ());
  UINT32  Stored = (Reply < Area) ? Reply : Area;
  if (Stored > 0) {
    std::memcpy (ResponseData, Response->data (), Stored);
  }

  if (Reply == 0) {
    *ResponseDataSize = 0;
    return EFI_SUCCESS;
  }

  if (Reply < Area) {
    return EFI_DEVICE_ERROR;
  }

  if (Reply > Area) {
    mWedged = true;
  }

  Status = CompletionCodeStatus (ResponseData[0]);
  if (!EFI_ERROR (Status)) {
    *ResponseDataSize = Stored;
  }

  return Status;
}

}
