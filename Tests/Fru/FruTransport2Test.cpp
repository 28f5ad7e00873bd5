/** @file
  FRU access through either IPMI transport shape the board can install: the
  IPMI_TRANSPORT2 cells of the compatibility matrix (read, write, busy,
  write-protected, over-long reply), and, under every shape, poisoned bytes
  past every reply that the driver's results must never contain (through
  IpmiProtocolBridgeDxe: nor the bridge's marker).

  Both emulated transports stop the processor on a request size slot with a
  byte above the low one set, or a response size object that is misaligned
  or has an upper byte set (Emulator/Board/ShapeCheck.h): every test here
  that gets past a send has the driver passing both as they must be.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "ShapedFru.h"

#include <Board/ShapeCheck.h>

#include <IndustryStandard/IpmiFru.h>
#include <IpmiProtocolBridgeDxe/IpmiProtocolBridgeDxe.h>
#include <Protocol/FruAccess.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Emu;
using namespace FruShapes;

namespace {

class FruTransport2 : public ::testing::Test {
protected:
  ShapedFru  Shaped { TransportShape::Transport2 };
  EmulatedBoard        &Board = Shaped.Board;
  FRU_ACCESS_PROTOCOL  *&Fru  = Shaped.Fru;
};

}  // namespace

TEST_F (FruTransport2, ReadComesWholeThroughTheTransport2Interface) {
  UINT8  Buffer[40];
  UINTN  Size = sizeof (Buffer);

  ASSERT_NE (Fru, nullptr);
  Board.Bmc.QueueShortRead (10);
  ASSERT_EQ (Fru->ReadFruData (0, 0x0200, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 40u);
  EXPECT_EQ (Bytes (Buffer, Buffer + 40), Shaped.Device (0x200, 40));
  ASSERT_EQ (Board.Bmc.Requests ().size (), 3u);
  for (const BmcRequest &R : Board.Bmc.Requests ()) {
    EXPECT_EQ (R.This, Board.Transport2.Interface ());
    EXPECT_EQ (R.Capacity, 255u);
  }

  EXPECT_EQ (Board.Transport2.Interface ()->CompletionCode, 0x00);
}

TEST_F (FruTransport2, WriteComesWholeThroughTheTransport2Interface) {
  UINT8  Data[20];
  UINTN  Size = sizeof (Data);

  for (UINT8 Index = 0; Index < sizeof (Data); Index++) {
    Data[Index] = static_cast<UINT8>(0x40 + Index);
  }

  ASSERT_EQ (Fru->WriteFruData (0, 0x0300, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 20u);
  EXPECT_EQ (Shaped.Device (0x300, 20), Bytes (Data, Data + 20));
  ASSERT_EQ (Board.Bmc.Requests ().size (), 2u);
  EXPECT_EQ (Board.Bmc.Requests ()[0].Data.size (), 19u);
  EXPECT_EQ (Board.Bmc.Requests ()[1].Data.size (), 7u);
  EXPECT_EQ (Board.Bmc.Requests ()[1].Capacity, 2u);
}

TEST_F (FruTransport2, BusyEndsTheTransferAtOnceWithDeviceErrorAndCountZero) {
  UINT8  Buffer[32];
  UINTN  Size = sizeof (Buffer);
  UINT64 Pauses = Board.Cpu.PauseCount ();

  Board.Bmc.QueueBusy (1);
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_DEVICE_ERROR);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 1u) << "one send, no wait, no retry";
  EXPECT_EQ (Board.Cpu.PauseCount (), Pauses);
  EXPECT_EQ (Board.Transport2.Interface ()->CompletionCode, 0x81);

  //
  // A write the same: nothing written, count 0.
  //
  UINT8  Data[4] = { 1, 2, 3, 4 };
  Bytes  Before  = Shaped.Device (0x500, 4);
  Board.Bmc.ClearRequests ();
  Board.Bmc.QueueBusy (1);
  Size = sizeof (Data);
  EXPECT_EQ (Fru->WriteFruData (0, 0x0500, &Size, Data), EFI_DEVICE_ERROR);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 1u);
  EXPECT_EQ (Shaped.Device (0x500, 4), Before);
}

TEST_F (FruTransport2, WriteProtectedIsDeviceErrorWithCountZero) {
  UINT8  Data[32];
  UINTN  Size = sizeof (Data);

  std::fill (Data, Data + sizeof (Data), 0x77);
  Board.Bmc.WriteProtect (0, 0x0610, 4);
  EXPECT_EQ (Fru->WriteFruData (0, 0x0600, &Size, Data), EFI_DEVICE_ERROR) << "0x80 cannot reach the driver through this shape";
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 2u);
  EXPECT_EQ (Shaped.Device (0x600, 16), Bytes (16, 0x77)) << "the chunk before the protected range is written";
  EXPECT_NE (Shaped.Device (0x610, 16), Bytes (16, 0x77));
  EXPECT_EQ (Board.Transport2.Interface ()->CompletionCode, IPMI_COMP_CODE_WRITE_PROTECTED);
}

TEST_F (FruTransport2, OverLongReplyOneBytePastCapacityLandsInTheSlack) {
  //
  // A write reply of three bytes for a capacity of two: stored whole and
  // reported as 3; the driver believes no length above 2 and no count above
  // the bytes sent.
  //
  UINT8  Data[4] = { 9, 8, 7, 6 };
  UINTN  Size    = sizeof (Data);

  Board.Bmc.QueueRaw ({ 0x00, 0xF0, 0xEE }, EFI_SUCCESS, IPMI_STORAGE_WRITE_FRU_DATA);
  ASSERT_EQ (Fru->WriteFruData (0, 0x0400, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ (Size, 4u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 1u);

  //
  // A read reply of 256 bytes for a capacity of 255: the count byte claims
  // 254, the chunk asked for 16; the driver takes 16.
  //
  Bytes  Long (256, 0x33);
  Long[0] = 0x00;
  Long[1] = 254;
  UINT8  Buffer[20];
  Size = sizeof (Buffer);
  Board.Bmc.ClearRequests ();
  Board.Bmc.QueueRaw (Long);
  ASSERT_EQ (Fru->ReadFruData (0, 0x0400, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ (Size, 20u);
  EXPECT_EQ (Bytes (Buffer, Buffer + 16), Bytes (16, 0x33));
  EXPECT_EQ (Bytes (Buffer + 16, Buffer + 20), Shaped.Device (0x410, 4));
}

TEST_F (FruTransport2, OverLongReplyTwoBytesPastCapacityIsBufferTooSmallWithCountZero) {
  UINT8  Data[4] = { 9, 8, 7, 6 };
  UINTN  Size    = sizeof (Data);

  Board.Bmc.QueueRaw ({ 0x00, 0x04, 0xEE, 0xEE }, EFI_SUCCESS, IPMI_STORAGE_WRITE_FRU_DATA);
  EXPECT_EQ (Fru->WriteFruData (0, 0x0400, &Size, Data), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Size, 0u);
  EXPECT_EQ (Board.Bmc.Requests ().size (), 1u);

  UINT8  Buffer[16];
  Size = sizeof (Buffer);
  Board.Bmc.QueueRaw (Bytes (257, 0x00));
  EXPECT_EQ (Fru->ReadFruData (0, 0, &Size, Buffer), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Size, 0u);
}

TEST (FruTransportPoison, NoPoisonedByteReachesTheDriversResultsUnderEitherShape) {
  for (TransportShape Shape : { TransportShape::OneByteSizes, TransportShape::Transport2, TransportShape::IpmiProtocol }) {
    SCOPED_TRACE (TransportShapeName (Shape));
    ShapedFru  Shaped (Shape);
    ASSERT_NE (Shaped.Fru, nullptr);

    //
    // Replies that carry less than they claim, claim more than asked, or
    // stop at the header: every byte past each reply is poison, and the
    // bytes read are the device's, the count the bytes read.
    //
    Shaped.Board.Bmc.QueueShortRead (0);
    Shaped.Board.Bmc.QueueRaw ({ 0x00, 16, 0x21, 0x22, 0x23 });          // claims 16, carries 3
    if (Shape != TransportShape::IpmiProtocol) {
      Shaped.Board.Bmc.QueueCountField (200);                           // claims 200 for 16: wedges EDK2's driver
    }

    Shaped.Board.Bmc.QueueRaw ({ 0x00, 0x00 });                         // moves nothing
    Shaped.Board.Bmc.QueueShortRead (7);
    UINT8  Buffer[64];
    UINTN  Size = sizeof (Buffer);
    ASSERT_EQ (Shaped.Fru->ReadFruData (0, 0x0700, &Size, Buffer), EFI_SUCCESS);
    ASSERT_EQ (Size, sizeof (Buffer));
    EXPECT_EQ (std::count (Buffer, Buffer + Size, POISON_BYTE), 0);
    EXPECT_EQ (std::count (Buffer, Buffer + Size, IPMI_BRIDGE_MARKER), 0);
    EXPECT_EQ (Bytes (Buffer, Buffer + 3), (Bytes { 0x21, 0x22, 0x23 }));
    EXPECT_EQ (Bytes (Buffer + 3, Buffer + Size), Shaped.Device (0x703, Size - 3));

    //
    // A write reply with the count only, and one claiming more than sent:
    // the count returned is the bytes sent.
    //
    UINT8  Data[20];
    std::fill (Data, Data + sizeof (Data), 0x5C);
    Shaped.Board.Bmc.QueueCountField (0xFF, IPMI_STORAGE_WRITE_FRU_DATA);
    Size = sizeof (Data);
    ASSERT_EQ (Shaped.Fru->WriteFruData (0, 0x0800, &Size, Data), EFI_SUCCESS);
    EXPECT_EQ (Size, sizeof (Data));
    EXPECT_EQ (Shaped.Device (0x800, sizeof (Data)), Bytes (sizeof (Data), 0x5C));
    EXPECT_FALSE (Shaped.Board.IpmiProtocol.Wedged ());
  }
}

TEST (FruTransportPoison, EitherTransportStopsOnADirtySizeSlotOrSizeObject) {
  //
  // What the driver is proven not to do: each of these stops the processor.
  //
  UINT8   Request[4] = { 0, 0, 0, 1 };
  UINT8   Response[8 + IPMI_RESPONSE_SLACK];
  alignas (8) UINT8  Object[8] = {};

  for (TransportShape Shape : { TransportShape::OneByteSizes, TransportShape::Transport2 }) {
    EmulatedBoard            Board;
    IPMI_TRANSPORT_PROTOCOL  *Transport = (Shape == TransportShape::Transport2) ? reinterpret_cast<IPMI_TRANSPORT_PROTOCOL *>(Board.Transport2.Interface ())
                                                                                : Board.Transport.Interface ();
    UINT32                   Size = 8;

    Board.Bmc.SetFruDevice (0, Bytes (16, 0x42));
    EXPECT_DEATH (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 0xA5A5A50000000004ull, Response, &Size), "request size slot");
    EXPECT_DEATH (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 0x104, Response, &Size), "request size slot");
    Size = 0xA5A5A508;
    EXPECT_DEATH (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, &Size), "upper three bytes");
    Object[1] = 8;
    EXPECT_DEATH (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, reinterpret_cast<UINT32 *>(Object + 1)), "not 4-byte aligned");

    //
    // A clean call: the one-byte shape changes only the low byte of the
    // object; both poison the area past the reply up to the slack byte.
    //
    Size = 8;
    std::fill (Response, Response + sizeof (Response), 0);
    ASSERT_EQ (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, &Size), EFI_SUCCESS);
    EXPECT_EQ (Size, 3u);
    EXPECT_EQ (Bytes (Response, Response + sizeof (Response)), (Bytes { 0x00, 0x01, 0x42, POISON_BYTE, POISON_BYTE, POISON_BYTE, POISON_BYTE, POISON_BYTE, POISON_BYTE }));
  }
}

TEST (FruTransport2Interface, NonZeroCompletionCodeLeavesTheResponseAndItsSizeUntouched) {
  EmulatedBoard            Board;
  auto                     *Transport = reinterpret_cast<IPMI_TRANSPORT_PROTOCOL *>(Board.Transport2.Interface ());
  UINT8                    Request[4] = { 0, 0, 0, 4 };
  UINT8                    Response[8 + IPMI_RESPONSE_SLACK];
  UINT32                   Size = 8;

  Board.Bmc.SetFruDevice (0, Bytes (16, 0x42));
  for (UINT8 Code : { 0x81, 0x80, 0xC0, 0xFF }) {
    std::fill (Response, Response + sizeof (Response), 0x11);
    Board.Bmc.QueueCompletionCode (Code);
    EXPECT_EQ (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, &Size), EFI_DEVICE_ERROR);
    EXPECT_EQ (Size, 8u);
    EXPECT_EQ (Bytes (Response, Response + sizeof (Response)), Bytes (sizeof (Response), 0x11));
    EXPECT_EQ (Board.Transport2.Interface ()->CompletionCode, Code);
  }

  //
  // An empty reply carries no completion code: a device error too. The
  // other interface members are as installed.
  //
  Board.Bmc.QueueRaw ({});
  EXPECT_EQ (IpmiSendAnyShape (Transport, IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, &Size), EFI_DEVICE_ERROR);
  EXPECT_EQ (Size, 8u);
  EXPECT_EQ (Board.Transport2.Interface ()->InterfaceType, static_cast<UINT32>(Ipmi2InterfaceKcs));
  EXPECT_EQ (Board.Transport2.Interface ()->IpmiSubmitCommand2Ex (Board.Transport2.Interface (), IPMI_NETFN_STORAGE, 0, IPMI_STORAGE_READ_FRU_DATA, Request, 4, Response, &Size, Ipmi2InterfaceBt),
             EFI_UNSUPPORTED);
}
