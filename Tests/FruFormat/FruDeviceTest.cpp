/** @file
  The FRU tool's device layer over the driver's real FRU access protocol on
  the emulated board: large writes in pieces the protocol carries whole,
  reading an image as far as its header names, and the failures a BMC can
  give (short device, write-protected offset, a write it drops).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <IndustryStandard/IpmiFru.h>
#include <Protocol/FruAccess.h>

#include <Library/FruDevice.h>
#include <Library/FruFormat.h>

#include <gtest/gtest.h>

using namespace Emu;

namespace {

constexpr UINT64  RATIO_32 = 0x20ull << 8;

class FruDeviceTest : public ::testing::Test {
protected:
  void
  Boot (const Bytes &Device)
  {
    Board.Bmc.SetFruDevice (0, Device);
    Board.Cpu.SetMsr (0xCE, RATIO_32);
    Board.Runner.RunBoot ();
    Dev.Fru = static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
    ASSERT_NE (Dev.Fru, nullptr);
    Dev.DeviceId = 0;
    Board.Bmc.ClearRequests ();
  }

  ///
  /// A FRU image whose multi-record area ends at Extent: a board area, then
  /// records up to there.
  ///
  static Bytes
  ImageOf (size_t Extent)
  {
    Bytes  Out = { 1, 0, 0, 1, 0, 0, 0, 0 };
    Bytes  Board = { 1, 1, 25, 0, 0, 0, 0xC1, 0 };
    Board[7] = static_cast<UINT8>(0x100 - (1 + 1 + 25 + 0xC1));
    Out.insert (Out.end (), Board.begin (), Board.end ());
    Out[5] = 2;
    Out[7] = static_cast<UINT8>(0x100 - (1 + 1 + 2));
    while (Out.size () < Extent) {
      size_t  Length = std::min<size_t>(Extent - Out.size () - 5, 200);
      bool    Last   = Out.size () + 5 + Length == Extent;
      Bytes   Record = { 0xC0, static_cast<UINT8>(0x02 | (Last ? 0x80 : 0)), static_cast<UINT8>(Length), 0, 0 };
      UINT8   Sum    = 0;
      for (size_t Index = 0; Index < Length; Index++) {
        Record.push_back (static_cast<UINT8>(Out.size () + Index));
        Sum = static_cast<UINT8>(Sum + Record.back ());
      }

      Record[3] = static_cast<UINT8>(0x100 - Sum);
      Record[4] = static_cast<UINT8>(0x100 - (Record[0] + Record[1] + Record[2] + Record[3]));
      Out.insert (Out.end (), Record.begin (), Record.end ());
    }

    return Out;
  }

  EmulatedBoard  Board;
  FRU_DEVICE     Dev {};
};

TEST_F (FruDeviceTest, WritesAnImageLargerThanOneProtocolCallCarries) {
  Boot (Bytes (2048, 0xFF));
  Bytes  Image (1500);
  for (size_t Index = 0; Index < Image.size (); Index++) {
    Image[Index] = static_cast<UINT8>(Index * 13 + 1);
  }

  Bytes  Scratch (Image.size ());
  UINTN  Difference;
  ASSERT_EQ (FruDeviceWriteAndCompare (&Dev, 100, Image.size (), Image.data (), Scratch.data (), &Difference), EFI_SUCCESS);
  const Bytes  &Device = Board.Bmc.Fru (0);
  EXPECT_TRUE (std::equal (Image.begin (), Image.end (), Device.begin () + 100));
  EXPECT_EQ (Device[99], 0xFF);
  EXPECT_EQ (Device[1600], 0xFF);

  size_t  Written = 0;
  for (const BmcRequest &R : Board.Bmc.Requests ()) {
    if (R.Command == IPMI_STORAGE_WRITE_FRU_DATA) {
      EXPECT_LE (R.Data.size () - 3, 16u);
      Written += R.Data.size () - 3;
    }
  }

  EXPECT_EQ (Written, Image.size ()) << "every byte written exactly once";
}

TEST_F (FruDeviceTest, ReadsTheImageAsFarAsItsHeaderNames) {
  Bytes  Image = ImageOf (900);
  Bytes  Device = Image;
  Device.resize (4096, 0xEE);
  Boot (Device);

  Bytes  Buffer (FRU_MAX_IMAGE_SIZE);
  UINTN  Size;
  UINTN  Needed;
  ASSERT_EQ (FruDeviceReadImage (&Dev, Buffer.data (), Buffer.size (), &Size, &Needed), EFI_SUCCESS);
  EXPECT_EQ (Size, 900u);
  EXPECT_TRUE (std::equal (Image.begin (), Image.end (), Buffer.begin ()));

  size_t  Read = 0;
  for (const BmcRequest &R : Board.Bmc.Requests ()) {
    Read += R.Data[3];
  }

  EXPECT_EQ (Read, 900u) << "no byte past the image is asked for";
}

TEST_F (FruDeviceTest, ADeviceShorterThanItsHeaderSaysFailsWithWhereItStopped) {
  Bytes  Image = ImageOf (900);
  Boot (Bytes (Image.begin (), Image.begin () + 600));

  Bytes  Buffer (FRU_MAX_IMAGE_SIZE);
  UINTN  Size;
  UINTN  Needed;
  EFI_STATUS  Status = FruDeviceReadImage (&Dev, Buffer.data (), Buffer.size (), &Size, &Needed);
  EXPECT_TRUE (EFI_ERROR (Status));
  EXPECT_GT (Needed, 600u);
  EXPECT_LE (Dev.FailedAt, 600u);
  EXPECT_GE (Dev.FailedAt + FRU_DEVICE_PIECE, 600u);
}

TEST_F (FruDeviceTest, AWriteProtectedOffsetStopsTheWriteAndSaysWhere) {
  Boot (Bytes (1024, 0));
  Board.Bmc.WriteProtect (0, 700, 16);
  Bytes  Image (1000, 0x5A);
  UINTN  Done;

  EXPECT_EQ (FruDeviceWrite (&Dev, 0, Image.size (), Image.data (), &Done), EFI_WRITE_PROTECTED);
  EXPECT_EQ (Dev.FailedAt, 512u) << "the piece holding offset 700";
  EXPECT_EQ (Done, 512u);
}

TEST_F (FruDeviceTest, AWriteTheBmcDropsIsFoundByTheReadBack) {
  Boot (Bytes (512, 0));
  Bytes  Image (64, 0x33);
  Bytes  Scratch (64);
  UINTN  Difference;

  // The BMC answers the first Write FRU Data "done, 16 bytes" without storing them.
  Board.Bmc.QueueRaw ({ 0x00, 0x10 }, EFI_SUCCESS, IPMI_STORAGE_WRITE_FRU_DATA);
  EXPECT_EQ (FruDeviceWriteAndCompare (&Dev, 32, Image.size (), Image.data (), Scratch.data (), &Difference), EFI_VOLUME_CORRUPTED);
  EXPECT_EQ (Difference, 32u);
}

TEST_F (FruDeviceTest, RangesPastTheAddressableBytesAreRefusedUnsent) {
  Boot (Bytes (64, 0));
  Bytes  Buffer (32);
  UINTN  Done;

  EXPECT_EQ (FruDeviceRead (&Dev, 0xFFF0, 32, Buffer.data (), &Done), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ (Dev.FailedAt, 0xFFF0u);
  EXPECT_EQ (FruDeviceWrite (&Dev, 0x10000, 1, Buffer.data (), &Done), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ (FruDeviceRead (&Dev, 0x10000, 0, Buffer.data (), &Done), EFI_SUCCESS);
  EXPECT_EQ (Done, 0u);
  EXPECT_TRUE (Board.Bmc.Requests ().empty ());

  // A range ending exactly at the last addressable byte is sent.
  FruDeviceRead (&Dev, 0xFFF0, 16, Buffer.data (), &Done);
  EXPECT_FALSE (Board.Bmc.Requests ().empty ());
}

//
// A FRU access protocol of another firmware that now and then answers
// success having moved nothing: the device layer waits that out, but not
// for ever.
//
unsigned  gStallCalls;
unsigned  gStallsBeforeEachMove;

EFI_STATUS
EFIAPI
StallingRead (
  IN     UINT8   FruDeviceId,
  IN     UINT16  Offset,
  IN OUT UINTN   *DataSize,
  IN OUT UINT8   *Buffer
  )
{
  (void)FruDeviceId;
  gStallCalls++;
  if (gStallCalls % (gStallsBeforeEachMove + 1) != 0) {
    *DataSize = 0;
    return EFI_SUCCESS;
  }

  *DataSize = std::min<UINTN>(*DataSize, 8);
  for (UINTN Index = 0; Index < *DataSize; Index++) {
    Buffer[Index] = static_cast<UINT8>(Offset + Index);
  }

  return EFI_SUCCESS;
}

TEST (FruDeviceStalls, EveryPieceMayStallUpToTheLimitButNoMore) {
  FRU_ACCESS_PROTOCOL  Stalling { StallingRead, StallingRead };
  FRU_DEVICE           Dev {};
  Bytes                Buffer (64);
  UINTN                Done;

  Dev.Fru = &Stalling;
  gStallCalls           = 0;
  gStallsBeforeEachMove = FRU_DEVICE_NO_PROGRESS_LIMIT;
  ASSERT_EQ (FruDeviceRead (&Dev, 0x40, Buffer.size (), Buffer.data (), &Done), EFI_SUCCESS);
  EXPECT_EQ (Done, 64u);
  EXPECT_EQ (Buffer[63], 0x40 + 63);

  gStallCalls           = 0;
  gStallsBeforeEachMove = FRU_DEVICE_NO_PROGRESS_LIMIT + 1;
  EXPECT_EQ (FruDeviceRead (&Dev, 0x40, Buffer.size (), Buffer.data (), &Done), EFI_DEVICE_ERROR);
  EXPECT_EQ (Done, 0u);
  EXPECT_EQ (gStallCalls, FRU_DEVICE_NO_PROGRESS_LIMIT + 1);
}

}  // namespace
