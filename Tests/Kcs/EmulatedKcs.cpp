/** @file
  The BMC's side of the emulated KCS interface, and the IoLib and BaseLib
  functions the KCS transport's sources call, which drive it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EmulatedKcs.h"

extern "C" {
#include <Library/BaseLib.h>
#include <Library/IoLib.h>
}

namespace KcsTest {

constexpr UINT16  DATA_PORT   = 0xCA2;
constexpr UINT16  STATUS_PORT = 0xCA3;
constexpr UINT16  DEBUG_PORT  = 0x402;

constexpr UINT8  GET_STATUS_ABORT = 0x60;
constexpr UINT8  WRITE_START      = 0x61;
constexpr UINT8  WRITE_END        = 0x62;
constexpr UINT8  READ_BYTE        = 0x68;

constexpr UINT8  ERROR_ABORTED = 0x01;
constexpr UINT8  ERROR_ILLEGAL = 0x02;
constexpr UINT8  ERROR_LENGTH  = 0x06;

EmulatedKcs &
Kcs (
  )
{
  static EmulatedKcs  Interface;

  return Interface;
}

/**
  The BMC takes the byte the host wrote: a control code (command port) or a
  data byte, in the state the interface is in.
**/
void
EmulatedKcs::Take (
  )
{
  Ibf = false;
  if (Command && (Input == GET_STATUS_ABORT)) {
    Aborts++;
    if (State != KcsState::Error) {
      ErrorCode = ERROR_ABORTED;
    }

    State     = KcsState::Write;
    AbortData = true;
    WriteEnd  = false;
    Dummy ();
    return;
  }

  if (AbortData) {
    AbortData = false;
    if (Command || (Input != 0)) {
      Faults.push_back ("GET_STATUS/ABORT not followed by a 0x00 data byte");
    }

    State       = KcsState::Read;
    Response    = { ErrorCode };
    ResponsePos = 1;
    Place (ErrorCode);
    return;
  }

  switch (State) {
    case KcsState::Idle:
      if (Command && (Input == WRITE_START)) {
        State    = KcsState::Write;
        WriteEnd = false;
        Request.clear ();
        Dummy ();
      } else {
        Faults.push_back ("not WRITE_START in the idle state");
        Fail (ERROR_ILLEGAL);
      }

      return;

    case KcsState::Write:
      if (Command) {
        if ((Input != WRITE_END) || WriteEnd) {
          Faults.push_back ("control code out of place in the write state");
          Fail (ERROR_ILLEGAL);
        } else {
          WriteEnd = true;
          Dummy ();
        }

        return;
      }

      if (static_cast<int>(Request.size ()) == ErrorAfter) {
        ErrorAfter = -1;
        Fail (ERROR_LENGTH);
        return;
      }

      Request.push_back (Input);
      if (!WriteEnd) {
        Dummy ();
        return;
      }

      Requests.push_back (Request);
      Response    = NeverAnswer ? Bytes{ 0 } : Answer (Request);
      ResponsePos = 0;
      if (Response.empty ()) {
        State = KcsState::Idle;
        Dummy ();
      } else {
        State = KcsState::Read;
        if (!NeverAnswer) {
          Place (Response[ResponsePos++]);
        }
      }

      return;

    case KcsState::Read:
      if (Command || (Input != READ_BYTE)) {
        Faults.push_back ("not READ in the read state");
        Fail (ERROR_ILLEGAL);
      } else if (static_cast<int>(ResponsePos) == ErrorAtRead) {
        ErrorAtRead = -1;
        Fail (ERROR_LENGTH);
      } else if (ResponsePos < Response.size ()) {
        Place (Response[ResponsePos++]);
      } else {
        State = KcsState::Idle;
        if (!NoIdleByte) {
          Place (0);
        }
      }

      return;

    case KcsState::Error:
      Faults.push_back ("a byte other than GET_STATUS/ABORT in the error state");
      return;
  }
}

UINT8
EmulatedKcs::ReadPort (
  UINT16  Port
  )
{
  if (Port == STATUS_PORT) {
    StatusReads++;
    if (Ibf && ((TakeOnly < 0) || (Taken < TakeOnly))) {
      if (Countdown > 0) {
        Countdown--;
      } else {
        Taken++;
        Take ();
      }
    }

    if (!Pending.empty () && (PendingCountdown-- <= 0)) {
      Output.insert (Output.end (), Pending.begin (), Pending.end ());
      Pending.clear ();
    }

    return static_cast<UINT8>((static_cast<UINT8>(State) << 6) | (Command ? 0x08 : 0) | (Ibf ? 0x02 : 0) | (Output.empty () ? 0 : 0x01));
  }

  if ((Port != DATA_PORT) || Output.empty ()) {
    if (Faults.size () < 8) {     // a host polling the wrong port fails once, not ten million times
      Faults.push_back ("read of port " + std::to_string (Port) + (Port == DATA_PORT ? " with OBF clear" : ""));
    }

    return 0xFF;
  }

  UINT8  Byte = Output.front ();

  Output.pop_front ();
  return Byte;
}

void
EmulatedKcs::WritePort (
  UINT16  Port,
  UINT8   Value
  )
{
  if (Port == DEBUG_PORT) {
    DebugPort += static_cast<char>(Value);
    return;
  }

  if ((Port != DATA_PORT) && (Port != STATUS_PORT)) {
    Faults.push_back ("write to port " + std::to_string (Port));
    return;
  }

  if (Ibf) {
    Faults.push_back ("write while IBF is set");
  }

  if ((Port == DATA_PORT) && (Value == READ_BYTE) && (State == KcsState::Read) && !(Output.empty () && Pending.empty ())) {
    Faults.push_back ("READ acknowledges a byte the host has not read");
  }

  Input     = Value;
  Command   = (Port == STATUS_PORT);
  Ibf       = true;
  Countdown = Delay;
}

}

UINT8
EFIAPI
IoWrite8 (
  IN UINTN  Port,
  IN UINT8  Value
  )
{
  KcsTest::Kcs ().WritePort (static_cast<UINT16>(Port), Value);
  return Value;
}

UINT8
EFIAPI
IoRead8 (
  IN UINTN  Port
  )
{
  return KcsTest::Kcs ().ReadPort (static_cast<UINT16>(Port));
}

VOID
EFIAPI
CpuPause (
  VOID
  )
{
}
