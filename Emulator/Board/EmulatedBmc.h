/** @file
  The emulated BMC, as any IPMI transport shape reaches it.

  The BMC serves Read FRU Data and Write FRU Data of the Storage network
  function on FRU devices of any size and contents, with write-protected
  ranges, and answers every other request "invalid command". Faults can be
  scripted for the next requests: busy replies, completion codes, transport
  errors, short, over-long or empty replies, or any raw reply. Every request
  is recorded while the trace records.

  A transport (BmcTransport.h) checks its own arguments and sizes and hands
  each exchange over as an IpmiCall; the BMC takes the fault that applies,
  answers, and tells the transport which reply to deliver.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMULATED_BMC_H_
#define EMULATED_BMC_H_

#include <Uefi.h>

#include <deque>
#include <map>
#include <vector>

namespace Emu {

class TraceLog;
using Bytes = std::vector<UINT8>;

///
/// A scripted answer for one request, taken in the order queued.
///
struct BmcFault {
  enum class Kind {
    CompletionCode,    ///< answer with completion code Value and nothing else done
    TransportError,    ///< the transport fails with Status; the BMC never sees the request
    CountField,        ///< do the command, then claim Value in the count byte
    ShortRead,         ///< a read returns at most Value bytes (count and data agree)
    Raw,               ///< answer exactly Reply, whatever was asked
  };

  Kind        What   = Kind::CompletionCode;
  UINT8       Value  = 0;
  EFI_STATUS  Status = EFI_SUCCESS;    ///< the transport's status (TransportError, Raw)
  Bytes       Reply;                   ///< Raw
  UINT8       ForCommand = 0;          ///< 0: the next request; else the next request with this command
};

struct BmcRequest {
  UINT8       NetFunction = 0;
  UINT8       Lun = 0;
  UINT8       Command = 0;
  Bytes       Data;
  UINT32      Capacity = 0;
  const VOID *This = nullptr;
  EFI_STATUS  Status = EFI_SUCCESS;    ///< what the transport returned
  Bytes       Response;                ///< what the transport put in the response buffer
};

///
/// One exchange as a transport hands it over.
///
struct IpmiCall {
  const VOID   *This = nullptr;       ///< the interface called, as recorded
  bool          Valid = true;         ///< false: the transport refused its arguments
  UINT8         NetFunction = 0;
  UINT8         Lun = 0;
  UINT8         Command = 0;
  const UINT8  *Data = nullptr;
  size_t        DataSize = 0;
  size_t        Capacity = 0;         ///< response bytes the caller has room for
  size_t        Slack = 0;            ///< bytes past Capacity the transport stores too
};

///
/// The call a transport whose interface is Own received: refused unless it
/// was made on Own with its response buffers and, for any request data, the
/// data present. Capacity is what the caller said it has room for.
///
inline IpmiCall
ReceivedIpmiCall (const VOID *This, const VOID *Own, UINT8 NetFunction, UINT8 Lun, UINT8 Command, const UINT8 *Data,
                  size_t DataSize, const UINT8 *ResponseData, const VOID *ResponseDataSize, size_t Capacity)
{
  IpmiCall  Call;

  Call.This        = This;
  Call.Valid       = (This == Own) && (ResponseData != nullptr) && (ResponseDataSize != nullptr) &&
                     ((DataSize == 0) || (Data != nullptr));
  Call.NetFunction = NetFunction;
  Call.Lun         = Lun;
  Call.Command     = Command;
  Call.Data        = Data;
  Call.DataSize    = DataSize;
  Call.Capacity    = Capacity;
  return Call;
}

class EmulatedBmc {
public:
  explicit EmulatedBmc (TraceLog &Log) : mTrace (Log) {}
  EmulatedBmc (const EmulatedBmc &) = delete;
  EmulatedBmc &operator= (const EmulatedBmc &) = delete;

  void         SetFruDevice (UINT8 DeviceId, const Bytes &Contents) { mFru[DeviceId] = Contents; }
  Bytes       &Fru (UINT8 DeviceId) { return mFru[DeviceId]; }
  void         WriteProtect (UINT8 DeviceId, UINT32 Offset, UINT32 Length);

  void         Queue (const BmcFault &Fault) { mFaults.push_back (Fault); }
  void         QueueCompletionCode (UINT8 Code, unsigned Times = 1, UINT8 ForCommand = 0);
  void         QueueBusy (unsigned Times, UINT8 ForCommand = 0) { QueueCompletionCode (0x81, Times, ForCommand); }
  void         QueueTransportError (EFI_STATUS Status, UINT8 ForCommand = 0);
  void         QueueCountField (UINT8 Count, UINT8 ForCommand = 0);
  void         QueueShortRead (UINT8 Count);
  void         QueueRaw (const Bytes &Reply, EFI_STATUS Status = EFI_SUCCESS, UINT8 ForCommand = 0);
  size_t       PendingFaults () const { return mFaults.size (); }
  void         ClearFaults () { mFaults.clear (); }

  ///
  /// The Nth exchange from now (1 for the next one) meets Fault, whatever its
  /// command, ahead of any queued fault.
  ///
  void         FailExchange (UINT64 Nth, const BmcFault &Fault);
  UINT64       Exchanges () const { return mExchanges; }

  ///
  /// Every request served and its reply, while the board's trace records.
  ///
  const std::vector<BmcRequest> &Requests () const { return mRequests; }
  void         ClearRequests () { mRequests.clear (); }

  ///
  /// Serve one exchange: count it, take the fault that applies (an invalid
  /// call takes one too), answer and record it. A reply longer than the
  /// capacity and the transport's slack is EFI_BUFFER_TOO_SMALL. *Response is the reply the transport
  /// delivers (possibly empty), or nullptr when it delivers none.
  ///
  EFI_STATUS   Exchange (const IpmiCall &Call, const Bytes **Response);

private:
  void         Serve (UINT8 NetFunction, UINT8 Command, const UINT8 *Data, size_t DataSize, const BmcFault *Fault, Bytes &Reply);
  bool         IsWriteProtected (UINT8 DeviceId, UINT32 Offset, UINT32 Length) const;

  void         Note (const IpmiCall &Call, EFI_STATUS Status);

  TraceLog                      &mTrace;
  std::map<UINT8, Bytes>        mFru;
  struct Range { UINT8 Device; UINT32 Offset; UINT32 Length; };
  std::vector<Range>            mProtected;
  std::deque<BmcFault>          mFaults;
  std::vector<BmcRequest>       mRequests;
  Bytes                         mReply;
  UINT64                        mExchanges = 0;
  UINT64                        mFailAt = 0;          ///< 0: no counted fault
  BmcFault                      mFailFault;
};

}

#endif
