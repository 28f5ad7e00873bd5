/** @file
  FRU access through IpmiProtocolBridgeDxe over the board's IPMI_PROTOCOL,
  which behaves as EDK2's own IPMI driver was measured to (Emulator/Board/
  BmcIpmiProtocol.h): the areas the bridge asks for, busy replies waited out
  by TavriDxe, every completion code and every short or empty reply reaching
  the caller without wedging the driver, errors with no reply, and the order
  in which the IPMI driver, TavriDxe and the bridge start.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "ShapedFru.h"

#include <IndustryStandard/IpmiFru.h>
#include <IpmiProtocolBridgeDxe/IpmiProtocolBridgeDxe.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace FruShapes;

namespace {

constexpr UINT8  NETFN_APP = 0x06;
constexpr UINT8  GET_DEVICE_ID = 0x01;

class FruIpmiProtocol : public ::testing::Test {
protected:
  //
  // One request straight to the bridge's transport, as any caller of the
  // transport GUID makes it; Response holds Capacity + 1 bytes.
  //
  EFI_STATUS
  Send (UINT8 NetFunction, UINT8 Lun, UINT8 Command, const Bytes &Request, UINT32 Capacity, UINT32 *Size)
  {
    auto  *Transport = static_cast<IPMI_TRANSPORT_PROTOCOL *>(Board.Protocols.Find (gIpmiTransportProtocolGuid));

    Response.assign (Capacity + IPMI_RESPONSE_SLACK, 0x11);
    *Size = Capacity;
    return IpmiSendAnyShape (Transport, NetFunction, Lun, Command, const_cast<UINT8 *>(Request.data ()), Request.size (), Response.data (), Size);
  }

  ShapedFru            Shaped { TransportShape::IpmiProtocol };
  EmulatedBoard        &Board = Shaped.Board;
  FRU_ACCESS_PROTOCOL  *&Fru  = Shaped.Fru;
  Bytes                Response;
};

const Bytes  READ_16 = { 0, 0x00, 0x02, 16 };

}  // namespace

TEST_F (FruIpmiProtocol, ReadsAndWritesAskForTheExactReplySizeOthersForTheLargest) {
  UINT8  Buffer[40];
  UINTN  Size = sizeof (Buffer);

  ASSERT_NE (Fru, nullptr);
  ASSERT_EQ (Fru->ReadFruData (0, 0x0200, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Bytes (Buffer, Buffer + 40), Shaped.Device (0x200, 40));
  UINT8  Data[20] = {};
  Size = sizeof (Data);
  ASSERT_EQ (Fru->WriteFruData (0, 0x0300, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 20u);
  EXPECT_EQ (Shaped.Device (0x300, 20), Bytes (20, 0));

  UINT32  Length;
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_GET_FRU_INVENTORY_AREA_INFO, { 0 }, 255, &Length), EFI_SUCCESS);
  EXPECT_EQ (Send (NETFN_APP, 0, GET_DEVICE_ID, {}, 255, &Length), EFI_SUCCESS);
  EXPECT_EQ (Length, 1u);
  EXPECT_EQ (Response[0], IPMI_COMP_CODE_INVALID_COMMAND) << "the emulated BMC knows neither command";

  std::vector<UINT32>  Areas;
  for (const BmcRequest &R : Board.Bmc.Requests ()) {
    EXPECT_EQ (R.This, Board.IpmiProtocol.Interface ());
    Areas.push_back (R.Capacity);
  }

  EXPECT_EQ (Areas, (std::vector<UINT32> { 18, 18, 10, 2, 2, 4, IPMI_BRIDGE_LARGEST_RESPONSE }));
  EXPECT_FALSE (Board.IpmiProtocol.Wedged ());
}

TEST_F (FruIpmiProtocol, BusyRepliesReachTavriDxeAsBusyAndAreWaitedOut) {
  UINT8   Buffer[16];
  UINTN   Size   = sizeof (Buffer);
  UINT64  Pauses = Board.Cpu.PauseCount ();

  Board.Bmc.QueueBusy (3);
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 16u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 4u);
  EXPECT_EQ (Board.Cpu.PauseCount () - Pauses, 3u * 96u) << "three 30 ms waits of 96,000,000 ticks";

  Board.Bmc.ClearRequests ();
  Pauses = Board.Cpu.PauseCount ();
  Board.Bmc.QueueBusy (4, IPMI_STORAGE_WRITE_FRU_DATA);
  Size = sizeof (Buffer);
  EXPECT_EQ (Fru->WriteFruData (0, 0x500, &Size, Buffer), EFI_TIMEOUT) << "four sends, as with our own transport";
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 4u);
  EXPECT_EQ (Board.Cpu.PauseCount () - Pauses, 4u * 96u);
  EXPECT_FALSE (Board.IpmiProtocol.Wedged ());
}

TEST_F (FruIpmiProtocol, WriteProtectedReachesTavriDxeAndTheFirstChunkStays) {
  UINT8  Data[32];
  UINTN  Size = sizeof (Data);

  std::fill (Data, Data + sizeof (Data), 0x77);
  Board.Bmc.WriteProtect (0, 0x0610, 4);
  EXPECT_EQ (Fru->WriteFruData (0, 0x0600, &Size, Data), EFI_WRITE_PROTECTED);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Shaped.Device (0x600, 16), Bytes (16, 0x77));
  EXPECT_NE (Shaped.Device (0x610, 16), Bytes (16, 0x77));
  EXPECT_FALSE (Board.IpmiProtocol.Wedged ());
}

TEST_F (FruIpmiProtocol, EveryCompletionCodeAndShortOrEmptyReplyReachesTheCallerAndNeverWedges) {
  UINT32  Length;

  //
  // Every code but the bridge's marker, a reserved one: a reply that is
  // that code alone cannot be told from no reply.
  //
  for (unsigned Code = 0x01; Code <= 0xFF; Code++) {
    Board.Bmc.QueueCompletionCode (static_cast<UINT8>(Code));
    if (Code == IPMI_BRIDGE_MARKER) {
      ASSERT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_DEVICE_ERROR);
      continue;
    }

    ASSERT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_SUCCESS) << Code;
    ASSERT_EQ (Length, 1u);
    ASSERT_EQ (Response[0], Code);
    Board.Bmc.QueueCompletionCode (static_cast<UINT8>(Code));
    ASSERT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_WRITE_FRU_DATA, { 0, 0, 5, 0x42 }, 2, &Length), EFI_SUCCESS) << Code;
    ASSERT_EQ (Response[0], Code);
  }

  for (UINT8 Count = 0; Count <= 16; Count++) {
    Board.Bmc.QueueShortRead (Count);
    ASSERT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_SUCCESS);
    ASSERT_EQ (Length, 2u + Count);
    EXPECT_EQ (Bytes (Response.begin () + 2, Response.begin () + 2 + Count), Shaped.Device (0x200, Count));
  }

  //
  // A reply claiming 16 bytes and carrying 3, one carrying more than it
  // claims, one with the code alone: what came, as far as claimed. None at
  // all: no completion code to give.
  //
  Board.Bmc.QueueRaw ({ 0x00, 16, 0x21, 0x22, 0x23 });
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_SUCCESS);
  EXPECT_EQ (Length, 5u);
  Board.Bmc.QueueRaw ({ 0x00, 3, 0x21, 0x22, 0x23, 0x24, 0x25 });
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_SUCCESS);
  EXPECT_EQ (Length, 5u) << "no more than the count byte says";
  Board.Bmc.QueueRaw ({ 0x00 });
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_WRITE_FRU_DATA, { 0, 0, 5, 0x42 }, 2, &Length), EFI_SUCCESS);
  EXPECT_EQ (Length, 1u);
  Board.Bmc.QueueRaw ({});
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_DEVICE_ERROR);

  //
  // Long replies to a command whose reply the command does not fix: up to
  // the largest area, whole, or cut at the caller's capacity.
  //
  Bytes  Long (IPMI_BRIDGE_LARGEST_RESPONSE, 0x33);
  Long[0] = 0x00;
  Board.Bmc.QueueRaw (Long);
  EXPECT_EQ (Send (NETFN_APP, 0, GET_DEVICE_ID, {}, 255, &Length), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Length, 255u);
  EXPECT_EQ (Response[255], 0x11) << "nothing past the capacity";
  Board.Bmc.QueueRaw (Bytes (200, 0x00));
  EXPECT_EQ (Send (NETFN_APP, 0, GET_DEVICE_ID, {}, 255, &Length), EFI_SUCCESS);
  EXPECT_EQ (Length, 200u);

  EXPECT_FALSE (Board.IpmiProtocol.Wedged ());
  UINT8  Buffer[64];
  UINTN  Size = sizeof (Buffer);
  EXPECT_EQ (Fru->ReadFruData (0, 0x0700, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Bytes (Buffer, Buffer + sizeof (Buffer)), Shaped.Device (0x700, sizeof (Buffer)));
}

TEST_F (FruIpmiProtocol, NoReplyAndRequestsItCannotCarryAreErrorsAtOnce) {
  UINT8   Buffer[32];
  UINTN   Size   = sizeof (Buffer);
  UINT64  Pauses = Board.Cpu.PauseCount ();
  UINT64  Sent   = Board.Bmc.Exchanges ();
  UINT32  Length;

  Board.IpmiProtocol.SetBmcPresent (false);
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_DEVICE_ERROR);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Cpu.PauseCount (), Pauses) << "no wait";
  Board.IpmiProtocol.SetBmcPresent (true);
  Board.Bmc.QueueTransportError (EFI_TIMEOUT);
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_TIMEOUT);
  EXPECT_EQ (Response[0], 0x11);
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 1, IPMI_STORAGE_READ_FRU_DATA, READ_16, 255, &Length), EFI_UNSUPPORTED) << "LUN 1";
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 0, &Length), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Board.Bmc.Exchanges (), Sent + 1) << "only the transport error's request reached the BMC";

  //
  // A caller of the one-byte shape that leaves stale bytes above the request
  // size in its slot: the bridge reads the low byte only.
  //
  auto    *Transport = static_cast<IPMI_TRANSPORT_PROTOCOL *>(Board.Protocols.Find (gIpmiTransportProtocolGuid));
  UINT8   Area[256];
  Length = 255;
  EXPECT_EQ (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, const_cast<UINT8 *>(READ_16.data ()),
                               0xA5A5A5A5A5A5A504ull, Area, &Length), EFI_SUCCESS);
  EXPECT_EQ (Length, 18u);
  EXPECT_EQ (Board.Bmc.Requests ().back ().Data, READ_16);

  //
  // A reply longer than the caller's capacity: the first bytes, no more.
  //
  EXPECT_EQ (Send (IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, READ_16, 4, &Length), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Length, 4u);
  EXPECT_EQ (Bytes (Response.begin (), Response.end ()), (Bytes { 0x00, 16, 0x10, 0x11, 0x11 }));
  EXPECT_FALSE (Board.IpmiProtocol.Wedged ());
}

TEST_F (FruIpmiProtocol, OnlyAReplyLongerThanItsCommandAllowsWedgesTheDriverForTheBoot) {
  //
  // The area for Read FRU Data of 16 is 18 bytes: a BMC answering 200
  // bytes leaves EDK2's driver in the middle of a read.
  //
  UINT8  Buffer[32];
  UINTN  Size = sizeof (Buffer);

  Board.Bmc.QueueCountField (200);
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_NOT_READY);
  EXPECT_EQ (Size, 0u);
  EXPECT_TRUE (Board.IpmiProtocol.Wedged ());
  EXPECT_EQ (Board.IpmiProtocol.WedgedCalls (), 1u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 1u);

  BootScript  Script;
  Script.Shape = TransportShape::IpmiProtocol;
  Board.Runner.RunBoot (Script);
  EXPECT_FALSE (Board.IpmiProtocol.Wedged ()) << "a new boot";
}

TEST (FruIpmiProtocolOrder, TheBridgeCarriesTheOrderWhenEverTheIpmiDriverStarts) {
  for (bool Before : { true, false }) {
    SCOPED_TRACE (Before ? "IPMI_PROTOCOL long before TavriDxe" : "IPMI_PROTOCOL after TavriDxe's entry");
    EmulatedBoard  Board;
    BootScript     Script;
    Board.Bmc.SetFruDevice (0, Bytes (256, 0x42));
    Script.Shape                   = TransportShape::IpmiProtocol;
    Script.IpmiProtocolBeforeEntry = Before;
    Board.Runner.RunBoot (Script);
    EXPECT_EQ (Board.Protocols.Count (gIpmiTransportProtocolGuid), 1u);
    EXPECT_EQ (Board.Protocols.Count (gFruAccessProtocolGuid), 1u);
    EXPECT_EQ (Board.Bmc.Requests ().size (), 16u) << "the probe";
  }

  //
  // The bridge started before any IPMI_PROTOCOL (its dependency forbids it
  // on firmware): the notification installs the transport once, and a
  // second IPMI_PROTOCOL installs nothing more.
  //
  EmulatedBoard  Board;
  BootScript     Script;
  Board.Bmc.SetFruDevice (0, Bytes (256, 0x42));
  Script.InstallIpmiTransport = false;
  Script.AfterHooks = [&Board]() {
                        EXPECT_EQ (Board.Bridge.Start (Board.Tables.SystemTable ()), EFI_SUCCESS);
                        EXPECT_EQ (Board.Protocols.Count (gIpmiTransportProtocolGuid), 0u);
                        Board.Protocols.Install (gIpmiProtocolGuid, Board.IpmiProtocol.Interface ());
                        Board.Protocols.Install (gIpmiProtocolGuid, Board.IpmiProtocol.Interface ());
                      };
  Board.Runner.RunBoot (Script);
  EXPECT_EQ (Board.Protocols.Count (gIpmiTransportProtocolGuid), 1u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 16u);
}
