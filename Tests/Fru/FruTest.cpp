/** @file
  FRU access over IPMI against the emulated BMC: chunking, short and
  over-long replies, busy waits, refusals and the counts returned.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <IndustryStandard/IpmiFru.h>
#include <Protocol/FruAccess.h>

#include <gtest/gtest.h>

using namespace Emu;

namespace {

constexpr UINT64  RATIO_32 = 0x20ull << 8;

class FruTest : public ::testing::Test {
protected:
  void
  SetUp () override
  {
    Bytes  Device (0x10000);
    for (size_t Index = 0; Index < Device.size (); Index++) {
      Device[Index] = static_cast<UINT8>(Index * 7 + (Index >> 8));
    }

    Board.Bmc.SetFruDevice (0, Device);
    Board.Cpu.SetMsr (0xCE, RATIO_32);
    Board.Runner.RunBoot ();
    Fru = static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
    ASSERT_NE (Fru, nullptr);
    Board.Bmc.ClearRequests ();
    PausesBefore = Board.Cpu.PauseCount ();
  }

  //
  // (offset, count) of every Read FRU Data request sent so far.
  //
  std::vector<std::pair<unsigned, unsigned>>
  ReadRequests ()
  {
    std::vector<std::pair<unsigned, unsigned>>  Out;
    for (const BmcRequest &R : Board.Bmc.Requests ()) {
      EXPECT_EQ (R.NetFunction, IPMI_NETFN_STORAGE);
      EXPECT_EQ (R.Lun, 0);
      EXPECT_EQ (R.Command, IPMI_STORAGE_READ_FRU_DATA);
      EXPECT_EQ (R.Capacity, 255);
      EXPECT_EQ (R.This, Board.Transport.Interface ());
      Out.push_back ({ R.Data[1] | (R.Data[2] << 8), R.Data[3] });
    }

    return Out;
  }

  std::vector<std::pair<unsigned, unsigned>>
  WriteRequests ()
  {
    std::vector<std::pair<unsigned, unsigned>>  Out;
    for (const BmcRequest &R : Board.Bmc.Requests ()) {
      EXPECT_EQ (R.Command, IPMI_STORAGE_WRITE_FRU_DATA);
      EXPECT_EQ (R.Capacity, 2);
      Out.push_back ({ R.Data[1] | (R.Data[2] << 8), static_cast<unsigned>(R.Data.size () - 3) });
    }

    return Out;
  }

  UINT64  Waits () const { return (Board.Cpu.PauseCount () - PausesBefore) / 96; }

  EmulatedBoard        Board;
  FRU_ACCESS_PROTOCOL  *Fru = nullptr;
  UINT64               PausesBefore = 0;
};

using Chunks = std::vector<std::pair<unsigned, unsigned>>;

}  // namespace

TEST (FruProbe, ReadsFirst256BytesOfDeviceZeroOnceAfterInstall) {
  EmulatedBoard  Fresh;
  Fresh.Bmc.SetFruDevice (0, Bytes (256, 0xA5));
  Fresh.Runner.RunBoot ();

  ASSERT_EQ (Fresh.Bmc.Requests ().size (), 16u);
  for (unsigned Index = 0; Index < 16; Index++) {
    const BmcRequest  &R = Fresh.Bmc.Requests ()[Index];
    EXPECT_EQ (R.Data, (Bytes { 0, static_cast<UINT8>(Index * 16), 0, 16 }));
  }

  EXPECT_EQ (Fresh.Protocols.Count (gFruAccessProtocolGuid), 1u);
  EXPECT_EQ (Fresh.Tables.AllocationCalls (), 0u);
}

TEST_F (FruTest, ReadIsCutIntoChunksOfSixteen) {
  UINT8  Buffer[40];
  UINTN  Size = sizeof (Buffer);

  ASSERT_EQ (Fru->ReadFruData (0, 0x0100, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 40u);
  EXPECT_EQ (ReadRequests (), (Chunks { { 0x100, 16 }, { 0x110, 16 }, { 0x120, 8 } }));
  EXPECT_EQ (Bytes (Buffer, Buffer + 40), Bytes (Board.Bmc.Fru (0).begin () + 0x100, Board.Bmc.Fru (0).begin () + 0x128));
}

TEST_F (FruTest, ShortAndOverLongRepliesAreTakenAsFarAsAsked) {
  UINT8  Buffer[32] = {};
  UINTN  Size = sizeof (Buffer);

  Board.Bmc.QueueShortRead (10);
  Board.Bmc.QueueCountField (20);   // 20 bytes for a 16-byte request
  ASSERT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 32u);
  EXPECT_EQ (ReadRequests (), (Chunks { { 0, 16 }, { 10, 16 }, { 26, 6 } }));
  EXPECT_EQ (Bytes (Buffer, Buffer + 32), Bytes (Board.Bmc.Fru (0).begin (), Board.Bmc.Fru (0).begin () + 32));
}

TEST_F (FruTest, BusyRepliesAreWaitedOutUpToFourSends) {
  UINT8  Buffer[16];
  UINTN  Size = sizeof (Buffer);

  Board.Bmc.QueueBusy (2);
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 16u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 3u);
  EXPECT_EQ (Board.Cpu.PauseCount () - PausesBefore, 2u * 96u) << "two 30 ms waits of 96,000,000 ticks";

  Board.Bmc.ClearRequests ();
  PausesBefore = Board.Cpu.PauseCount ();
  Board.Bmc.QueueBusy (4);
  Size = sizeof (Buffer);
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_TIMEOUT);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 4u);
  EXPECT_EQ (Waits (), 4u);
}

TEST_F (FruTest, FailuresReportStatusAndZeroCount) {
  struct {
    const char  *Name;
    BmcFault    Fault;
    EFI_STATUS  Expected;
  } Cases[] = {
    { "transport error", { BmcFault::Kind::TransportError, 0, EFI_NO_RESPONSE, {}, 0 }, EFI_NO_RESPONSE },
    { "refusal 0xC0 is not success", { BmcFault::Kind::CompletionCode, 0xC0, EFI_SUCCESS, {}, 0 }, EFI_DEVICE_ERROR },
    { "0x80 on a read is a refusal", { BmcFault::Kind::CompletionCode, 0x80, EFI_SUCCESS, {}, 0 }, EFI_DEVICE_ERROR },
  };

  for (const auto &Case : Cases) {
    UINT8  Buffer[32];
    UINTN  Size = sizeof (Buffer);
    Board.Bmc.Queue (Case.Fault);
    EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), Case.Expected) << Case.Name;
    EXPECT_EQ (Size, 0u) << Case.Name;
  }
}

TEST_F (FruTest, ReplyWithoutProgressEndsInsteadOfLooping) {
  UINT8  Buffer[16];

  //
  // Completion code 0x00 with a count of 0, and an empty reply (which reads
  // as the same once the response area is cleared): four sends, then an end.
  //
  for (const Bytes &Reply : { Bytes { 0x00, 0x00 }, Bytes {} }) {
    UINTN  Size = sizeof (Buffer);
    Board.Bmc.ClearRequests ();
    for (int Index = 0; Index < 4; Index++) {
      Board.Bmc.QueueRaw (Reply);
    }

    EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_DEVICE_ERROR) << Reply.size ();
    EXPECT_EQ (Size, 0u);
    EXPECT_EQ (Board.Bmc.Requests ().size (), 4u);
  }

  //
  // An empty reply after a busy one is not busy again: what the busy reply
  // left in the response area is cleared before the next send.
  //
  {
    UINTN  Size = sizeof (Buffer);
    Board.Bmc.ClearRequests ();
    Board.Bmc.QueueBusy (1);
    for (int Index = 0; Index < 3; Index++) {
      Board.Bmc.QueueRaw ({});
    }

    EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_DEVICE_ERROR);
    EXPECT_EQ (Board.Bmc.Requests ().size (), 4u);
  }

  //
  // One empty reply, then progress: the write goes on.
  //
  Board.Bmc.ClearRequests ();
  Board.Bmc.QueueRaw ({ 0x00, 0x00 }, EFI_SUCCESS, IPMI_STORAGE_WRITE_FRU_DATA);
  UINT8  Data[4] = { 1, 2, 3, 4 };
  UINTN  Size = sizeof (Data);
  EXPECT_EQ (Fru->WriteFruData (0, 0x40, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 4u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 2u);
}

TEST_F (FruTest, ReplyClaimingMoreThanItCarriesIsAShortReply) {
  UINT8        Buffer[32];
  UINTN        Size = sizeof (Buffer);
  const Bytes  &Device = Board.Bmc.Fru (0);

  std::fill (std::begin (Buffer), std::end (Buffer), 0xCC);
  //
  // The first reply claims 16 bytes and carries 8; the second claims 16 and
  // carries none, which moves nothing and is sent again. No byte the BMC never
  // sent may reach the caller as FRU data.
  //
  Bytes  Eight = { 0x00, 16 };
  Eight.insert (Eight.end (), Device.begin (), Device.begin () + 8);
  Board.Bmc.QueueRaw (Eight);
  Board.Bmc.QueueRaw ({ 0x00, 16 });
  ASSERT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 32u);
  EXPECT_EQ (ReadRequests (), (Chunks { { 0, 16 }, { 8, 16 }, { 8, 16 }, { 24, 8 } }));
  EXPECT_EQ (Bytes (Buffer, Buffer + 32), Bytes (Device.begin (), Device.begin () + 32));

  //
  // A count two above what the reply carries: the two missing bytes are
  // asked for again, not taken as zeros.
  //
  Board.Bmc.ClearRequests ();
  Size = 10;
  Bytes  Claims10 = { 0x00, 10 };
  Claims10.insert (Claims10.end (), Device.begin () + 0x40, Device.begin () + 0x48);
  Board.Bmc.QueueRaw (Claims10);
  ASSERT_EQ (Fru->ReadFruData (0, 0x40, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (ReadRequests (), (Chunks { { 0x40, 10 }, { 0x48, 2 } }));
  EXPECT_EQ (Bytes (Buffer, Buffer + 10), Bytes (Device.begin () + 0x40, Device.begin () + 0x4A));

  //
  // Such replies four times running end the read: nothing carried, nothing taken.
  //
  Board.Bmc.ClearRequests ();
  for (int Index = 0; Index < 4; Index++) {
    Board.Bmc.QueueRaw ({ 0x00, 16 });
  }

  Size = sizeof (Buffer);
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_DEVICE_ERROR);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 4u);
}

namespace {

IPMI_TRANSPORT_PROTOCOL  *gBoardTransport;   ///< the board's own transport, for the test's to call

//
// A transport that leaves the response length at the capacity it was given,
// as transports that never report it do.
//
EFI_STATUS EFIAPI
SendKeepingCapacity (
  IPMI_TRANSPORT_PROTOCOL  *This,
  UINT8                    NetFunction,
  UINT8                    Lun,
  UINT8                    Command,
  UINT8                    *CommandData,
  UINTN                    CommandDataSize,
  UINT8                    *ResponseData,
  UINT32                   *ResponseDataSize
  )
{
  UINT32      Capacity = *ResponseDataSize;
  EFI_STATUS  Status   = IpmiSendAnyShape (gBoardTransport, NetFunction, Lun, Command, CommandData, CommandDataSize, ResponseData, ResponseDataSize);

  //
  // This transport stores the reply and nothing else: the board's transport
  // poisons the area past the reply, so clear that again.
  //
  for (UINT32 Index = *ResponseDataSize; Index <= Capacity; Index++) {
    ResponseData[Index] = 0;
  }

  (VOID)This;
  *ResponseDataSize = Capacity;
  return Status;
}

//
// The same, but storing exactly its reply: the bytes past it keep whatever the
// caller's area held, as a transport that copies only what arrived leaves them.
//
EFI_STATUS EFIAPI
SendOnlyTheReply (
  IPMI_TRANSPORT_PROTOCOL  *This,
  UINT8                    NetFunction,
  UINT8                    Lun,
  UINT8                    Command,
  UINT8                    *CommandData,
  UINTN                    CommandDataSize,
  UINT8                    *ResponseData,
  UINT32                   *ResponseDataSize
  )
{
  UINT32      Capacity = *ResponseDataSize;
  Bytes       Before (ResponseData, ResponseData + Capacity + IPMI_RESPONSE_SLACK);
  EFI_STATUS  Status = IpmiSendAnyShape (gBoardTransport, NetFunction, Lun, Command, CommandData, CommandDataSize, ResponseData, ResponseDataSize);

  for (UINT32 Index = *ResponseDataSize; Index < Before.size (); Index++) {
    ResponseData[Index] = Before[Index];
  }

  (VOID)This;
  *ResponseDataSize = Capacity;
  return Status;
}

//
// A board whose transport is Send, installed after the hooks, and the FRU
// access protocol the driver installed over it.
//
FRU_ACCESS_PROTOCOL *
BootWithTransport (EmulatedBoard &Board, IPMI_TRANSPORT_PROTOCOL &Transport, const Bytes &Device)
{
  BootScript  Script;

  Board.Bmc.SetFruDevice (0, Device);
  gBoardTransport             = Board.Transport.Interface ();
  Script.InstallIpmiTransport = false;
  Script.AfterHooks = [&Board, &Transport]() { Board.Protocols.Install (gIpmiTransportProtocolGuid, &Transport); };
  Board.Runner.RunBoot (Script);
  return static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
}

}  // namespace

TEST (FruTransport, AShortReplyNeverShowsWhatAnEarlierSendLeft) {
  EmulatedBoard            Board;
  IPMI_TRANSPORT_PROTOCOL  Transport = { 0, reinterpret_cast<IPMI_SEND_COMMAND>(SendOnlyTheReply) };
  Bytes                    Device (256, 0x00);
  FRU_ACCESS_PROTOCOL      *Fru = BootWithTransport (Board, Transport, Device);

  ASSERT_NE (Fru, nullptr);

  //
  // The first chunk's reply counts 16 written; the second chunk's is the
  // completion code alone. Its count byte must read as 0 (no progress, so the
  // chunk is sent again), never as the 16 the first reply left in the area.
  //
  BmcFault  CodeOnly;
  CodeOnly.What  = BmcFault::Kind::Raw;
  CodeOnly.Reply = { 0x00 };
  Board.Bmc.FailExchange (2, CodeOnly);
  Board.Bmc.ClearRequests ();

  UINT8  Data[32];
  for (UINT8 Index = 0; Index < sizeof (Data); Index++) {
    Data[Index] = static_cast<UINT8>(0x80 | Index);
  }

  UINTN  Size = sizeof (Data);
  ASSERT_EQ (Fru->WriteFruData (0, 0x40, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 32u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 3u);
  EXPECT_EQ (Bytes (Board.Bmc.Fru (0).begin () + 0x40, Board.Bmc.Fru (0).begin () + 0x60), Bytes (Data, Data + 32));
}

TEST (FruTransport, LengthLeftAtCapacityReadsAsBefore) {
  EmulatedBoard            Board;
  BootScript               Script;
  IPMI_TRANSPORT_PROTOCOL  Transport = { 0, reinterpret_cast<IPMI_SEND_COMMAND>(SendKeepingCapacity) };
  Bytes                    Device (256);

  for (size_t Index = 0; Index < Device.size (); Index++) {
    Device[Index] = static_cast<UINT8>(0xFF - Index);
  }

  Board.Bmc.SetFruDevice (0, Device);
  gBoardTransport             = Board.Transport.Interface ();
  Script.InstallIpmiTransport = false;
  Script.AfterHooks = [&Board, &Transport]() { Board.Protocols.Install (gIpmiTransportProtocolGuid, &Transport); };
  Board.Runner.RunBoot (Script);
  auto  *Fru = static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
  ASSERT_NE (Fru, nullptr);

  //
  // With no length to go by, the count byte alone says what was carried: a
  // reply claiming 16 and carrying 8 is taken whole, the rest read as 0.
  //
  UINT8  Buffer[40];
  UINTN  Size = sizeof (Buffer);
  Board.Bmc.ClearRequests ();
  Board.Bmc.QueueRaw ({ 0x00, 16, 1, 2, 3, 4, 5, 6, 7, 8 });
  ASSERT_EQ (Fru->ReadFruData (0, 0x20, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 40u);
  EXPECT_EQ (Bytes (Buffer, Buffer + 16), (Bytes { 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0 }));
  EXPECT_EQ (Bytes (Buffer + 16, Buffer + 40), Bytes (Device.begin () + 0x30, Device.begin () + 0x48));
  EXPECT_EQ (Board.Bmc.Requests ().size (), 3u);
}

TEST_F (FruTest, WriteProtectedSecondChunkKeepsTheFirst) {
  UINT8  Data[32];
  UINTN  Size = sizeof (Data);

  for (UINT8 Index = 0; Index < 32; Index++) {
    Data[Index] = static_cast<UINT8>(0xF0 ^ Index);
  }

  Bytes  Before = Board.Bmc.Fru (0);
  Board.Bmc.WriteProtect (0, 0x210, 4);
  EXPECT_EQ (Fru->WriteFruData (0, 0x200, &Size, Data), EFI_WRITE_PROTECTED);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Bytes (Board.Bmc.Fru (0).begin () + 0x200, Board.Bmc.Fru (0).begin () + 0x210), Bytes (Data, Data + 16));
  EXPECT_EQ (Bytes (Board.Bmc.Fru (0).begin () + 0x210, Board.Bmc.Fru (0).begin () + 0x220), Bytes (Before.begin () + 0x210, Before.begin () + 0x220));
}

TEST_F (FruTest, CountsHeldTo16BitsForReadsAnd8BitsForWrites) {
  struct {
    UINTN     Asked;
    UINTN     Done;
    unsigned  Commands;
  } Writes[] = { { 256, 256, 16 }, { 300, 44, 3 }, { 272, 16, 1 }, { 260, 260, 17 } };

  static UINT8  Data[70000];
  for (const auto &W : Writes) {
    Board.Bmc.ClearRequests ();
    UINTN  Size = W.Asked;
    EXPECT_EQ (Fru->WriteFruData (0, 0, &Size, Data), EFI_SUCCESS) << W.Asked;
    EXPECT_EQ (Size, W.Done) << W.Asked;
    EXPECT_EQ (Board.Bmc.Requests ().size (), W.Commands) << W.Asked;
  }

  Board.Bmc.ClearRequests ();
  UINTN  Size = 65552;
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 16u);
  EXPECT_EQ (ReadRequests (), (Chunks { { 0, 16 } }));
}

TEST_F (FruTest, WriteReplyClaimingMoreThanSentIsCutToTheChunk) {
  UINT8  Data[20] = {};
  UINTN  Size = sizeof (Data);

  Board.Bmc.QueueCountField (200, IPMI_STORAGE_WRITE_FRU_DATA);
  EXPECT_EQ (Fru->WriteFruData (0, 0x300, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 20u);
  EXPECT_EQ (WriteRequests (), (Chunks { { 0x300, 16 }, { 0x310, 4 } }));
}

TEST_F (FruTest, OffsetWrapsAt64K) {
  UINT8  Buffer[24];
  UINTN  Size = sizeof (Buffer);
  Bytes  Sixteen = { 0x00, 16 };

  //
  // A BMC whose device answers all 16 bytes at 0xFFF8.
  //
  Sixteen.resize (18, 0x5A);
  Board.Bmc.QueueRaw (Sixteen);
  ASSERT_EQ (Fru->ReadFruData (0, 0xFFF8, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 24u);
  EXPECT_EQ (ReadRequests (), (Chunks { { 0xFFF8, 16 }, { 0x0008, 8 } }));
}

TEST_F (FruTest, RejectedArgumentsSendNothing) {
  UINT8  Buffer[4];
  UINTN  Size = 0;

  EXPECT_EQ (Fru->ReadFruData (0, 0, nullptr, Buffer), EFI_INVALID_PARAMETER);
  Size = 4;
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ (Size, 4u) << "count untouched";
  Size = 0;
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_INVALID_PARAMETER);
  EXPECT_EQ (Fru->WriteFruData (0, 0, nullptr, Buffer), EFI_INVALID_PARAMETER);
  Size = 4;
  EXPECT_EQ (Fru->WriteFruData (0, 0, &Size, nullptr), EFI_INVALID_PARAMETER);
  Size = 0;
  EXPECT_EQ (Fru->WriteFruData (0, 0, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 0u);
  EXPECT_TRUE (Board.Bmc.Requests ().empty ());
}

TEST_F (FruTest, ReadSizesAndDeviceIdReachTheRequests) {
  static UINT8  Buffer[300];
  struct {
    UINTN  Asked;
    Chunks Expected;
  } Reads[] = {
    { 1, { { 0x40, 1 } } },
    { 17, { { 0x40, 16 }, { 0x50, 1 } } },
  };

  for (const auto &R : Reads) {
    Board.Bmc.ClearRequests ();
    UINTN  Size = R.Asked;
    std::fill (std::begin (Buffer), std::end (Buffer), 0xEE);
    EXPECT_EQ (Fru->ReadFruData (0, 0x40, &Size, Buffer), EFI_SUCCESS) << R.Asked;
    EXPECT_EQ (Buffer[R.Asked], 0xEE) << "nothing written past the count asked";
    EXPECT_EQ (Size, R.Asked);
    EXPECT_EQ (ReadRequests (), R.Expected) << R.Asked;
  }

  Board.Bmc.ClearRequests ();
  UINTN  Size = 300;
  ASSERT_EQ (Fru->ReadFruData (0, 0x100, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 300u);
  ASSERT_EQ (Board.Bmc.Requests ().size (), 19u);
  EXPECT_EQ (ReadRequests ().back (), (std::pair<unsigned, unsigned> { 0x100 + 288, 12 }));
  EXPECT_EQ (Bytes (Buffer, Buffer + 300), Bytes (Board.Bmc.Fru (0).begin () + 0x100, Board.Bmc.Fru (0).begin () + 0x100 + 300));

  //
  // Another device: its ID is request byte 0 of reads and writes alike.
  //
  Board.Bmc.SetFruDevice (5, Bytes (64, 0x5E));
  Board.Bmc.ClearRequests ();
  Size = 4;
  ASSERT_EQ (Fru->ReadFruData (5, 0, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Bytes (Buffer, Buffer + 4), Bytes (4, 0x5E));
  UINT8  Data[3] = { 7, 8, 9 };
  Size = sizeof (Data);
  ASSERT_EQ (Fru->WriteFruData (5, 0x10, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Board.Bmc.Requests ()[0].Data, (Bytes { 5, 0, 0, 4 }));
  EXPECT_EQ (Board.Bmc.Requests ()[1].Data, (Bytes { 5, 0x10, 0, 7, 8, 9 }));
  EXPECT_EQ (Bytes (Board.Bmc.Fru (5).begin () + 0x10, Board.Bmc.Fru (5).begin () + 0x13), (Bytes { 7, 8, 9 }));
}

TEST_F (FruTest, WriteBusyErrorsAndShortWrites) {
  UINT8  Data[20];
  for (UINT8 Index = 0; Index < sizeof (Data); Index++) {
    Data[Index] = static_cast<UINT8>(0xA0 + Index);
  }

  //
  // Busy three times on the first chunk: waited out, the write completes.
  //
  UINTN  Size = sizeof (Data);
  Board.Bmc.QueueBusy (3, IPMI_STORAGE_WRITE_FRU_DATA);
  EXPECT_EQ (Fru->WriteFruData (0, 0x400, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 20u);
  EXPECT_EQ (WriteRequests (), (Chunks { { 0x400, 16 }, { 0x400, 16 }, { 0x400, 16 }, { 0x400, 16 }, { 0x410, 4 } }));
  EXPECT_EQ (Waits (), 3u);
  EXPECT_EQ (Bytes (Board.Bmc.Fru (0).begin () + 0x400, Board.Bmc.Fru (0).begin () + 0x414), Bytes (Data, Data + 20));

  //
  // Busy four times: EFI_TIMEOUT after four sends.
  //
  Board.Bmc.ClearRequests ();
  Size = sizeof (Data);
  Board.Bmc.QueueBusy (4, IPMI_STORAGE_WRITE_FRU_DATA);
  EXPECT_EQ (Fru->WriteFruData (0, 0x400, &Size, Data), EFI_TIMEOUT);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 4u);

  //
  // The transport fails on the second chunk: its status, count 0, the first
  // chunk stays written.
  //
  Board.Bmc.ClearRequests ();
  Size = sizeof (Data);
  Bytes  Before = Board.Bmc.Fru (0);
  Board.Bmc.QueueCountField (16, IPMI_STORAGE_WRITE_FRU_DATA);
  Board.Bmc.QueueTransportError (EFI_NO_RESPONSE, IPMI_STORAGE_WRITE_FRU_DATA);
  EXPECT_EQ (Fru->WriteFruData (0, 0x500, &Size, Data), EFI_NO_RESPONSE);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Bytes (Board.Bmc.Fru (0).begin () + 0x500, Board.Bmc.Fru (0).begin () + 0x510), Bytes (Data, Data + 16));
  EXPECT_EQ (Bytes (Board.Bmc.Fru (0).begin () + 0x510, Board.Bmc.Fru (0).begin () + 0x514), Bytes (Before.begin () + 0x510, Before.begin () + 0x514));

  //
  // A short write: the BMC takes 6 of 16; the next chunk starts 6 further on
  // with the caller's next bytes.
  //
  Board.Bmc.ClearRequests ();
  Size = sizeof (Data);
  Board.Bmc.QueueCountField (6, IPMI_STORAGE_WRITE_FRU_DATA);
  EXPECT_EQ (Fru->WriteFruData (0, 0x600, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 20u);
  EXPECT_EQ (WriteRequests (), (Chunks { { 0x600, 16 }, { 0x606, 14 } }));
  EXPECT_EQ (Board.Bmc.Requests ()[1].Data[3], Data[6]);
  EXPECT_EQ (Bytes (Board.Bmc.Fru (0).begin () + 0x600, Board.Bmc.Fru (0).begin () + 0x614), Bytes (Data, Data + 20));
}

TEST_F (FruTest, WritePastTheEndOfTheAddressSpaceIsRefused) {
  static UINT8  Data[300];

  struct {
    UINT16      Offset;
    UINTN       Asked;
    EFI_STATUS  Expected;
  } Cases[] = {
    { 0xFFF0, 16, EFI_SUCCESS },              // ends exactly at 0xFFFF
    { 0xFFFF, 1, EFI_SUCCESS },
    { 0xFFF0, 17, EFI_INVALID_PARAMETER },    // would wrap over the header at 0
    { 0xFFFF, 2, EFI_INVALID_PARAMETER },
    { 0xFF00, 300, EFI_INVALID_PARAMETER },
    { 0x0000, 0x10001, EFI_INVALID_PARAMETER },
    { 0xFFFF, 0, EFI_SUCCESS },               // nothing to write
  };

  for (const auto &Case : Cases) {
    Board.Bmc.ClearRequests ();
    UINTN  Size = Case.Asked;
    EXPECT_EQ (Fru->WriteFruData (0, Case.Offset, &Size, Data), Case.Expected) << std::hex << Case.Offset << " " << Case.Asked;
    if (Case.Expected == EFI_INVALID_PARAMETER) {
      EXPECT_EQ (Size, Case.Asked) << "count untouched";
      EXPECT_TRUE (Board.Bmc.Requests ().empty ()) << "nothing sent";
    } else {
      EXPECT_EQ (Size, Case.Asked);
    }
  }

  //
  // Reads keep wrapping: nothing is destroyed by them.
  //
  Board.Bmc.ClearRequests ();
  UINTN  Size = 17;
  EXPECT_EQ (Fru->ReadFruData (0, 0xFFF0, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (ReadRequests (), (Chunks { { 0xFFF0, 16 }, { 0x0000, 1 } }));
}

TEST (TscDelay, TicksFollowThePlatformRatio) {
  EmulatedBoard  Board;
  Board.Runner.RunBoot ();
  auto  Delay = Board.Driver.Functions ().TscDelayMicroseconds;

  struct {
    UINT64  Msr;
    UINT64  Start;
    UINT64  Step;
    UINT64  Pauses;
  } Cases[] = {
    { 0x2000, 0x1000, 1000000, 96 },              // 96,000,000 ticks
    { 0xFF00, 0x1000, 1000000, 765 },             // 765,000,000 ticks, no overflow
    { 0xFFFFFFFF00FF, 0x1000, 1000000, 0 },       // other bits ignored: ratio 0
    { 0x2000, ~0ull - 999999, 10, 0 },            // the end time wraps: returns at once
    { 0xFF00, 0x1000, 765000000, 1 },             // a reading at exactly 765,000,000 ticks waits on
    { 0xFF00, 0x1000, 765000001, 0 },             // one tick past: the wait is over
  };

  for (const auto &Case : Cases) {
    Board.Cpu.SetMsr (0xCE, Case.Msr);
    Board.Cpu.SetTsc (Case.Start);
    Board.Cpu.SetTscStep (Case.Step);
    UINT64  Before = Board.Cpu.PauseCount ();
    EXPECT_EQ (Delay (), 30000u);
    EXPECT_EQ (Board.Cpu.PauseCount () - Before, Case.Pauses) << std::hex << Case.Msr;
  }
}
