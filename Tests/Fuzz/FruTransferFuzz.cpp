/** @file
  Fuzzes FRU transfers against a BMC whose every reply comes from the input.

  Input: op (bit 0: write), device, offset (2 bytes), count (2 bytes, up to
  600), then replies, each: kind byte (low 2 bits: 0 reply, 1 transport error,
  2 reply with a warning status), length byte, that many reply bytes. When the
  replies run out the BMC answers from its FRU device. Replies left over when
  the call ends are dropped; a busy reply costs a real (emulated) 30 ms wait.

  Checked on every call, beyond what the sanitizers see: the caller's buffer is
  exactly the count asked (so any access past it is caught), the count
  returned never exceeds the count asked, a failure other than
  EFI_INVALID_PARAMETER leaves count 0, the sends are bounded by four per byte
  asked (each chunk moves at least one byte or ends the call), and only the
  documented statuses come back.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include "FuzzRequire.h"

#include <Protocol/FruAccess.h>


using namespace Emu;

namespace {

EmulatedBoard        *gBoard;
FRU_ACCESS_PROTOCOL  *gFru;

}  // namespace

extern "C" int
LLVMFuzzerInitialize (int *, char ***)
{
  gBoard = new EmulatedBoard ();
  gBoard->Bmc.SetFruDevice (0, Bytes (0x10000, 0x5A));
  gBoard->Bmc.SetFruDevice (1, Bytes (300, 0x11));
  gBoard->Cpu.SetMsr (0xCE, 0x20ull << 8);
  gBoard->Runner.RunBoot ();
  gFru = static_cast<FRU_ACCESS_PROTOCOL *>(gBoard->Protocols.Find (gFruAccessProtocolGuid));
  Require (gFru != nullptr, "FRU access protocol installed");

  //
  // Nothing reads the trace back: the board keeps none, nor the BMC its
  // requests, so memory stays flat over any number of inputs. A busy wait
  // (96,000,000 ticks at ratio 0x20) takes four counter readings.
  //
  gBoard->Trace.SetRecording (false);
  gBoard->Trace.Clear ();
  gBoard->Bmc.ClearRequests ();
  gBoard->Cpu.SetTscStep (32000000);
  return 0;
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *Data, size_t Size)
{
  if (Size < 6) {
    return 0;
  }

  bool    Write  = (Data[0] & 1) != 0;
  UINT8   Device = Data[1];
  UINT16  Offset = static_cast<UINT16>(Data[2] | (Data[3] << 8));
  UINTN   Asked  = static_cast<UINTN>(Data[4] | (Data[5] << 8)) % 601;

  for (size_t At = 6; At + 2 <= Size; ) {
    UINT8   Kind   = Data[At] & 3;
    size_t  Length = Data[At + 1];
    At += 2;
    Bytes   Reply (Data + At, Data + std::min (Size, At + Length));
    At += Reply.size ();
    if (Kind == 1) {
      gBoard->Bmc.QueueTransportError (EFI_DEVICE_ERROR | (Reply.empty () ? 0 : Reply[0]));
    } else {
      gBoard->Bmc.QueueRaw (Reply, (Kind == 2) ? EFI_WARN_STALE_DATA : EFI_SUCCESS);
    }
  }

  UINT64      Before = gBoard->Bmc.Exchanges ();
  Bytes       Buffer (Asked);
  UINTN       Count  = Asked;
  UINT8       *Ptr   = Buffer.empty () ? nullptr : Buffer.data ();
  EFI_STATUS  Status = Write ? gFru->WriteFruData (Device, Offset, &Count, Ptr) : gFru->ReadFruData (Device, Offset, &Count, Ptr);

  UINT64  Sends = gBoard->Bmc.Exchanges () - Before;
  Require (Count <= Asked, "count returned within the count asked");
  Require (Sends <= 4 * Asked, "sends bounded");
  if (Status == EFI_INVALID_PARAMETER) {
    Require (Count == Asked && Sends == 0, "rejected call sends nothing, count untouched");
  } else if (EFI_ERROR (Status)) {
    Require (Count == 0, "count 0 after a failure");
    //
    // The driver's own failures, or the transport's error passed through (the
    // ones this target injects are EFI_DEVICE_ERROR with low bits set).
    //
    Require ((Status == EFI_TIMEOUT) || (Status == EFI_WRITE_PROTECTED) || (Status == EFI_DEVICE_ERROR) ||
             ((Status & ~0xFFull) == MAX_BIT),
             "documented status");
  } else {
    Require (Status == EFI_SUCCESS, "success is EFI_SUCCESS");
  }

  //
  // Leave nothing of this input behind: what an input allocates it frees, so
  // libFuzzer's leak check stays quiet and memory stays flat.
  //
  gBoard->Bmc.ClearFaults ();
  return 0;
}
