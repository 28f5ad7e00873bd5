/** @file
  The emulated BMC: FRU devices served through Read FRU Data and Write FRU
  Data, scripted faults, and the record of every exchange.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EmulatedBmc.h"
#include "Core/Names.h"
#include "Core/TraceLog.h"

#include <IndustryStandard/IpmiFru.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Emu {

namespace {

constexpr UINT8  COMP_CODE_REQUEST_LENGTH_INVALID = 0xC7;

BmcFault
MakeFault (BmcFault::Kind What, UINT8 Value, EFI_STATUS Status, UINT8 ForCommand)
{
  BmcFault  Fault;

  Fault.What       = What;
  Fault.Value      = Value;
  Fault.Status     = Status;
  Fault.ForCommand = ForCommand;
  return Fault;
}

std::string
HexBytes (const Bytes &Data)
{
  return Emu::HexBytes (Data.data (), Data.size ());
}

}  // namespace

void
EmulatedBmc::WriteProtect (UINT8 DeviceId, UINT32 Offset, UINT32 Length)
{
  mProtected.push_back ({ DeviceId, Offset, Length });
}

void
EmulatedBmc::FailExchange (UINT64 Nth, const BmcFault &Fault)
{
  mFailAt    = (Nth == 0) ? 0 : mExchanges + Nth;
  mFailFault = Fault;
}

void
EmulatedBmc::QueueCompletionCode (UINT8 Code, unsigned Times, UINT8 ForCommand)
{
  for (unsigned Index = 0; Index < Times; Index++) {
    Queue (MakeFault (BmcFault::Kind::CompletionCode, Code, EFI_SUCCESS, ForCommand));
  }
}

void
EmulatedBmc::QueueTransportError (EFI_STATUS Status, UINT8 ForCommand)
{
  Queue (MakeFault (BmcFault::Kind::TransportError, 0, Status, ForCommand));
}

void
EmulatedBmc::QueueCountField (UINT8 Count, UINT8 ForCommand)
{
  Queue (MakeFault (BmcFault::Kind::CountField, Count, EFI_SUCCESS, ForCommand));
}

void
EmulatedBmc::QueueShortRead (UINT8 Count)
{
  Queue (MakeFault (BmcFault::Kind::ShortRead, Count, EFI_SUCCESS, IPMI_STORAGE_READ_FRU_DATA));
}

void
EmulatedBmc::QueueRaw (const Bytes &Reply, EFI_STATUS Status, UINT8 ForCommand)
{
  BmcFault  Fault = MakeFault (BmcFault::Kind::Raw, 0, Status, ForCommand);

  Fault.Reply = Reply;
  Queue (std::move (Fault));
}

bool
EmulatedBmc::IsWriteProtected (UINT8 DeviceId, UINT32 Offset, UINT32 Length) const
{
  for (const Range &R : mProtected) {
    if ((R.Device == DeviceId) && (Offset < R.Offset + R.Length) && (R.Offset < Offset + Length)) {
      return true;
    }
  }

  return false;
}

void
EmulatedBmc::Serve (UINT8 NetFunction, UINT8 Command, const UINT8 *Data, size_t DataSize, const BmcFault *Fault, Bytes &Reply)
{
  //
  // Reply is the BMC's one reply buffer, reused from exchange to exchange.
  //
  if ((Fault != nullptr) && (Fault->What == BmcFault::Kind::CompletionCode)) {
    Reply.assign ({ Fault->Value });
    return;
  }

  if ((Fault != nullptr) && (Fault->What == BmcFault::Kind::Raw)) {
    Reply.assign (Fault->Reply.begin (), Fault->Reply.end ());
    return;
  }

  bool  Read  = (NetFunction == IPMI_NETFN_STORAGE) && (Command == IPMI_STORAGE_READ_FRU_DATA);
  bool  Write = (NetFunction == IPMI_NETFN_STORAGE) && (Command == IPMI_STORAGE_WRITE_FRU_DATA);
  if (!Read && !Write) {
    Reply.assign ({ IPMI_COMP_CODE_INVALID_COMMAND });
    return;
  }

  if ((Read && (DataSize != sizeof (IPMI_READ_FRU_DATA_REQUEST))) || (Write && (DataSize < IPMI_WRITE_FRU_DATA_REQUEST_HEADER + 1))) {
    Reply.assign ({ COMP_CODE_REQUEST_LENGTH_INVALID });
    return;
  }

  auto    Device = mFru.find (Data[0]);
  UINT32  Offset = Data[1] | (static_cast<UINT32>(Data[2]) << 8);
  if ((Device == mFru.end ()) || (Offset >= Device->second.size ())) {
    Reply.assign ({ IPMI_COMP_CODE_OUT_OF_RANGE });
    return;
  }

  const Bytes  &Contents = Device->second;
  if (Read) {
    UINT32  Count = std::min<UINT32>(Data[3], static_cast<UINT32>(Contents.size () - Offset));
    if ((Fault != nullptr) && (Fault->What == BmcFault::Kind::ShortRead)) {
      Count = std::min<UINT32>(Count, Fault->Value);
    }

    Reply.assign ({ IPMI_COMP_CODE_NORMAL, static_cast<UINT8>(Count) });
    Reply.insert (Reply.end (), Contents.begin () + Offset, Contents.begin () + Offset + Count);
    if ((Fault != nullptr) && (Fault->What == BmcFault::Kind::CountField)) {
      //
      // Claim another count; a larger claim comes with that many data bytes,
      // the device's next ones, or 0xEE past its end.
      //
      for (UINT32 Extra = Count; Extra < Fault->Value; Extra++) {
        UINT32  At = Offset + Extra;
        Reply.push_back ((At < Contents.size ()) ? Contents[At] : 0xEE);
      }

      Reply[1] = Fault->Value;
    }

    return;
  }

  UINT32  Count = std::min<UINT32>(static_cast<UINT32>(DataSize - IPMI_WRITE_FRU_DATA_REQUEST_HEADER), static_cast<UINT32>(Contents.size () - Offset));
  if (IsWriteProtected (Data[0], Offset, Count)) {
    Reply.assign ({ IPMI_COMP_CODE_WRITE_PROTECTED });
    return;
  }

  std::copy (Data + IPMI_WRITE_FRU_DATA_REQUEST_HEADER, Data + IPMI_WRITE_FRU_DATA_REQUEST_HEADER + Count, Device->second.begin () + Offset);
  UINT8  Written = static_cast<UINT8>(Count);
  if ((Fault != nullptr) && (Fault->What == BmcFault::Kind::CountField)) {
    Written = Fault->Value;
  }

  Reply.assign ({ IPMI_COMP_CODE_NORMAL, Written });
}

EFI_STATUS
EmulatedBmc::Exchange (
  const IpmiCall  &Call,
  const Bytes     **Response
  )
{
  //
  // The counted fault, or else the next queued fault that applies to this
  // command, if any.
  //
  BmcFault  Fault;
  bool      HaveFault = false;
  mExchanges++;
  if ((mFailAt != 0) && (mExchanges == mFailAt)) {
    mFailAt   = 0;
    Fault     = mFailFault;
    HaveFault = true;
  }

  for (auto It = mFaults.begin (); !HaveFault && It != mFaults.end (); ++It) {
    if ((It->ForCommand == 0) || (It->ForCommand == Call.Command)) {
      Fault     = std::move (*It);
      HaveFault = true;
      mFaults.erase (It);
      break;
    }
  }

  EFI_STATUS  Status = EFI_SUCCESS;
  *Response = nullptr;
  mReply.clear ();
  if (!Call.Valid) {
    Status = EFI_INVALID_PARAMETER;
  } else if (HaveFault && (Fault.What == BmcFault::Kind::TransportError)) {
    Status = Fault.Status;
  } else {
    Serve (Call.NetFunction, Call.Command, Call.Data, Call.DataSize, HaveFault ? &Fault : nullptr, mReply);
    if (mReply.size () > Call.Capacity + Call.Slack) {
      Status = EFI_BUFFER_TOO_SMALL;
      mReply.clear ();
    } else {
      *Response = &mReply;
      if (HaveFault && (Fault.What == BmcFault::Kind::Raw)) {
        Status = Fault.Status;
      }
    }
  }

  //
  // With the trace off (a long fuzz run), nothing is kept: Exchanges ()
  // still counts.
  //
  if (mTrace.Recording ()) {
    Note (Call, Status);
  }

  return Status;
}

void
EmulatedBmc::Note (
  const IpmiCall  &Call,
  EFI_STATUS      Status
  )
{
  BmcRequest  Request;

  Request.NetFunction = Call.NetFunction;
  Request.Lun         = Call.Lun;
  Request.Command     = Call.Command;
  Request.This        = Call.This;
  Request.Capacity    = static_cast<UINT32>(Call.Capacity);
  Request.Status      = Status;
  Request.Response    = mReply;
  if ((Call.Data != nullptr) && (Call.DataSize > 0)) {
    Request.Data.assign (Call.Data, Call.Data + Call.DataSize);
  }

  mTrace.Record (
           "IpmiCommand",
           "netfn " + HexBytes ({ Call.NetFunction }) + " cmd " + HexBytes ({ Call.Command }) + " [" + HexBytes (Request.Data) +
           "] -> " + StatusName (Status) + " [" + HexBytes (Request.Response) + "]",
           Call.Command,
           Request.Data.size (),
           Status
           );
  mRequests.push_back (std::move (Request));
}

}
