/** @file
  An emulated BMC behind an emulated IPMI transport.

  The BMC serves Read FRU Data and Write FRU Data of the Storage network
  function on FRU devices of any size and contents, with write-protected
  ranges, and answers every other request "invalid command". Faults can be
  scripted for the next requests: busy replies, completion codes, transport
  errors, short, over-long or empty replies, or any raw reply. Every request
  is recorded.
**/

#ifndef EMULATED_BMC_H_
#define EMULATED_BMC_H_

#include <Protocol/IpmiTransport.h>

#include <deque>
#include <map>
#include <vector>

namespace Emu {

class EmulatedBoard;
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
  UINT8       Capacity = 0;
  const VOID *This = nullptr;
  EFI_STATUS  Status = EFI_SUCCESS;    ///< what the transport returned
  Bytes       Response;                ///< what the transport put in the response buffer
};

class EmulatedBmc {
public:
  explicit EmulatedBmc (EmulatedBoard &Board);
  ~EmulatedBmc ();
  EmulatedBmc (const EmulatedBmc &) = delete;
  EmulatedBmc &operator= (const EmulatedBmc &) = delete;

  IPMI_TRANSPORT_PROTOCOL *Transport () { return &mTransport; }

  ///
  /// The BMC behind one of the transport interfaces, or nullptr.
  ///
  static EmulatedBmc      *OwnerOf (const IPMI_TRANSPORT_PROTOCOL *Interface);

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
  /// Serve one request as the transport hands it over.
  ///
  EFI_STATUS   Send (IPMI_TRANSPORT_PROTOCOL *This, UINT8 NetFunction, UINT8 Lun, UINT8 Command, const UINT8 *CommandData, UINT8 CommandDataSize, UINT8 *ResponseData, UINT8 *ResponseDataSize);

private:
  void         Serve (UINT8 NetFunction, UINT8 Command, const UINT8 *Data, size_t DataSize, const BmcFault *Fault, Bytes &Reply);
  bool         IsWriteProtected (UINT8 DeviceId, UINT32 Offset, UINT32 Length) const;

  EmulatedBoard                 &mBoard;
  static std::map<const IPMI_TRANSPORT_PROTOCOL *, EmulatedBmc *> &Owners ();

  IPMI_TRANSPORT_PROTOCOL       mTransport;
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
