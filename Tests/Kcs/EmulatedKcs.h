/** @file
  The BMC's side of a KCS system interface at ports 0xCA2/0xCA3, for host
  tests of the KCS transport's sources: IoRead8, IoWrite8 and CpuPause are
  provided here and drive this state machine (IDLE, READ, WRITE, ERROR; IBF
  and OBF; WRITE_START, WRITE_END, READ and GET_STATUS/ABORT).

  The BMC is strict where a real one may be lenient, so that a host that
  leaves out a step is seen: it takes a written byte only after a few status
  reads, it queues its output bytes (a dummy byte the host did not clear comes
  before the next real one), and it records every host fault (a write while
  IBF is set, a data read while OBF is clear, a READ before the byte it
  acknowledges was read, a control code out of place).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMULATED_KCS_H_
#define EMULATED_KCS_H_

#include <Uefi.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace KcsTest {

using Bytes = std::vector<UINT8>;

enum class KcsState : UINT8 { Idle = 0, Read = 1, Write = 2, Error = 3 };

struct EmulatedKcs {
  //
  // Script: the response to a request (NetFn/LUN, command, data), and faults.
  //
  std::function<Bytes (const Bytes &)>  Answer;
  int                                   Delay      = 3;   ///< status reads before a written byte is taken
  int                                   ErrorAfter = -1;  ///< enter ERROR (once) on the request byte with this index
  int                                   ErrorAtRead = -1; ///< enter ERROR (once) when the host asks for the response byte with this index
  int                                   TakeOnly   = -1;  ///< bytes taken before IBF stays set (-1: all)
  int                                   ObfLag     = 0;   ///< status reads before OBF shows a byte of the read phase
  bool                                  NeverAnswer = false; ///< no response byte is ever placed
  bool                                  NoIdleByte  = false; ///< no byte placed when the read phase ends

  //
  // What the host did.
  //
  std::vector<Bytes>        Requests;        ///< every complete request
  std::vector<std::string>  Faults;          ///< host faults
  std::string               DebugPort;       ///< text written to port 0x402
  int                       Aborts = 0;      ///< GET_STATUS/ABORT codes taken
  long                      StatusReads = 0;

  //
  // The interface's registers and the BMC's state.
  //
  KcsState           State = KcsState::Idle;
  bool               Ibf   = false;
  bool               Command = false;
  UINT8              Input = 0;
  int                Countdown = 0;
  int                Taken     = 0;
  std::deque<UINT8>  Output;                 ///< OBF is set while it is not empty
  std::deque<UINT8>  Pending;                ///< placed, not yet shown by OBF
  int                PendingCountdown = 0;
  Bytes              Request;
  Bytes              Response;
  size_t             ResponsePos = 0;
  bool               WriteEnd    = false;
  bool               AbortData   = false;    ///< the data byte after GET_STATUS/ABORT is due
  UINT8              ErrorCode   = 0;

  /** Idle, nothing in either direction: where every transfer must leave the interface. */
  bool
  Quiet (
    ) const
  {
    return State == KcsState::Idle && !Ibf && Output.empty () && Pending.empty ();
  }

  UINT8  ReadPort (UINT16 Port);
  void   WritePort (UINT16 Port, UINT8 Value);

private:
  void  Take ();
  void  Place (UINT8 Byte) { Pending.push_back (Byte); PendingCountdown = ObfLag; }
  void  Dummy () { if (Output.empty ()) { Output.push_back (0); } }
  void  Fail (UINT8 Code) { State = KcsState::Error; ErrorCode = Code; }
};

/** The interface the IoLib functions of this test program drive. */
EmulatedKcs &
Kcs (
  );

}

#endif
