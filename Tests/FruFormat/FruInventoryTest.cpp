/** @file
  Get FRU Inventory Area Info through a transport of either published shape:
  one that takes both sizes as UINT8, one that takes them as UINT32 (and
  returns an error for a non-zero completion code), and the responses a BMC
  can give (bytes, words, no such device, command unknown, cut short).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Library/FruInventory.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

///
/// What the fake BMC answers and what the transport saw.
///
struct FakeBmc {
  std::vector<UINT8>  Reply;          ///< completion code first
  UINT32              SeenRequestSize = 0xFFFFFFFF;
  UINT32              SeenCapacity    = 0xFFFFFFFF;
  UINT8               SeenNetFn       = 0;
  UINT8               SeenCommand     = 0;
  UINT8               SeenDevice      = 0xFF;
};

FakeBmc  mBmc;

/// The transport whose sizes are UINT8.
struct NarrowTransport {
  IPMI_TRANSPORT_PROTOCOL  Protocol;
};

EFI_STATUS
EFIAPI
NarrowSend (
  IPMI_TRANSPORT_PROTOCOL  *This,
  UINT8                    NetFunction,
  UINT8                    Lun,
  UINT8                    Command,
  UINT8                    *CommandData,
  UINT8                    CommandDataSize,
  UINT8                    *ResponseData,
  UINT8                    *ResponseDataSize
  )
{
  (VOID)This;
  (VOID)Lun;
  mBmc.SeenNetFn       = NetFunction;
  mBmc.SeenCommand     = Command;
  mBmc.SeenRequestSize = CommandDataSize;
  mBmc.SeenCapacity    = *ResponseDataSize;
  mBmc.SeenDevice      = CommandData[0];
  UINT8  Count = static_cast<UINT8>(std::min<size_t>(mBmc.Reply.size (), *ResponseDataSize));
  std::copy (mBmc.Reply.begin (), mBmc.Reply.begin () + Count, ResponseData);
  *ResponseDataSize = Count;
  return EFI_SUCCESS;
}

/// The transport whose sizes are UINT32, with a non-zero completion code an
/// error, and one byte beyond the capacity accepted.
typedef EFI_STATUS (EFIAPI *WIDE_SEND)(VOID *, UINT8, UINT8, UINT8, UINT8 *, UINT32, UINT8 *, UINT32 *);

EFI_STATUS
EFIAPI
WideSend (
  VOID    *This,
  UINT8   NetFunction,
  UINT8   Lun,
  UINT8   Command,
  UINT8   *CommandData,
  UINT32  CommandDataSize,
  UINT8   *ResponseData,
  UINT32  *ResponseDataSize
  )
{
  (VOID)This;
  (VOID)Lun;
  mBmc.SeenNetFn       = NetFunction;
  mBmc.SeenCommand     = Command;
  mBmc.SeenRequestSize = CommandDataSize;
  mBmc.SeenCapacity    = *ResponseDataSize;
  mBmc.SeenDevice      = CommandData[0];
  if (mBmc.Reply.empty () || (mBmc.Reply[0] != 0)) {
    return EFI_DEVICE_ERROR;
  }

  UINT32  Count = static_cast<UINT32>(std::min<size_t>(mBmc.Reply.size (), *ResponseDataSize + 1));
  std::copy (mBmc.Reply.begin (), mBmc.Reply.begin () + Count, ResponseData);
  *ResponseDataSize = Count;
  return EFI_SUCCESS;
}

EFI_STATUS
Query (bool Wide, const std::vector<UINT8> &Reply, FRU_INVENTORY_INFO *Info, UINT8 Device = 3)
{
  IPMI_TRANSPORT_PROTOCOL  Transport;

  mBmc = FakeBmc ();
  mBmc.Reply = Reply;
  Transport.Revision        = 0;
  Transport.SendIpmiCommand = Wide ? reinterpret_cast<IPMI_SEND_COMMAND>(reinterpret_cast<VOID *>(WideSend)) : NarrowSend;
  return FruQueryInventoryInfo (&Transport, Device, Info);
}

TEST (FruInventory, BothTransportShapesReadTheSameSizeAndUnit) {
  for (bool Wide : { false, true }) {
    FRU_INVENTORY_INFO  Info;

    ASSERT_EQ (Query (Wide, { 0x00, 0x00, 0x04, 0x00 }, &Info), EFI_SUCCESS) << Wide;
    EXPECT_EQ (Info.Size, 1024u);
    EXPECT_FALSE (Info.Words);
    EXPECT_EQ (mBmc.SeenNetFn, FRU_NETFN_STORAGE);
    EXPECT_EQ (mBmc.SeenCommand, FRU_CMD_GET_INVENTORY_INFO);
    EXPECT_EQ (mBmc.SeenDevice, 3);
    EXPECT_EQ (mBmc.SeenRequestSize, 1u) << "the request size's upper bytes are zero";
    EXPECT_EQ (mBmc.SeenCapacity, FRU_INVENTORY_INFO_RESPONSE) << "the size object's upper bytes are zero";

    ASSERT_EQ (Query (Wide, { 0x00, 0x34, 0x12, 0x01 }, &Info), EFI_SUCCESS);
    EXPECT_EQ (Info.Size, 0x1234u);
    EXPECT_TRUE (Info.Words);

    // A reply longer than asked for is cut to the buffer, never past it.
    ASSERT_EQ (Query (Wide, { 0x00, 0x00, 0x01, 0x00, 0xEE, 0xEE, 0xEE }, &Info), EFI_SUCCESS);
    EXPECT_EQ (Info.Size, 256u);
  }
}

TEST (FruInventory, RefusalsAndShortRepliesAreNotASize) {
  FRU_INVENTORY_INFO  Info;

  EXPECT_EQ (Query (false, { 0xCB }, &Info), EFI_NOT_FOUND);
  EXPECT_EQ (Info.Completion, 0xCB);
  EXPECT_EQ (Query (false, { 0xC1 }, &Info), EFI_DEVICE_ERROR);
  EXPECT_EQ (Query (false, { 0x00, 0x00 }, &Info), EFI_PROTOCOL_ERROR);
  EXPECT_EQ (Query (false, { 0x00, 0x00, 0x00, 0x00 }, &Info), EFI_NOT_FOUND) << "a device of 0 bytes";
  EXPECT_EQ (Query (false, {}, &Info), EFI_PROTOCOL_ERROR);
  EXPECT_EQ (Info.Size, 0u);
  EXPECT_EQ (Query (true, { 0xC1 }, &Info), EFI_DEVICE_ERROR) << "the UINT32 transport's own error";
  EXPECT_EQ (Info.Size, 0u);
}

}  // namespace
