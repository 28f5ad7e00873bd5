/** @file
  The walk to the IIO source HOB past decoys, and the HOB list the entry point
  caches: what the IIO import finds in lists earlier phases really leave.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace Emu;

namespace {

const EFI_GUID  IioGuid = { 0xDD84017E, 0x7F52, 0x48F9, { 0xB1, 0x6E, 0x50, 0xED, 0x9E, 0x0D, 0xBE, 0x27 } };
const UINT8     IioHobName[16] = { 0x7B, 0xB1, 0x3B, 0x35, 0xAC, 0x74, 0x95, 0x48, 0xB4, 0x61, 0x2C, 0x8C, 0x97, 0x68, 0x30, 0xE6 };

const std::u16string  IioName = u"SocketIioConfig";

//
// One HOB as raw bytes: type, length, reserved, then the 16-byte name and the
// data, padded to a multiple of 8 unless Length is given.
//
Bytes
RawHob (UINT16 Type, const UINT8 (&Name)[16], const Bytes &Data, UINT16 Length = 0)
{
  Bytes  Hob (8 + 16);

  Hob.insert (Hob.end (), Data.begin (), Data.end ());
  Hob.resize ((Hob.size () + 7) & ~size_t (7), 0);
  if (Length != 0) {
    Hob.resize (Length, 0);
  }

  UINT16  Size = static_cast<UINT16>(Hob.size ());
  Hob[0] = static_cast<UINT8>(Type);
  Hob[1] = static_cast<UINT8>(Type >> 8);
  Hob[2] = static_cast<UINT8>(Size);
  Hob[3] = static_cast<UINT8>(Size >> 8);
  if (Hob.size () >= 24) {
    std::memcpy (&Hob[8], Name, 16);
  }

  return Hob;
}

Bytes
Filled (UINT8 Value)
{
  return Bytes (7229, Value);
}

//
// Boot with the list and the import switch on; return the byte the import
// stored at variable offset 9150 (the first byte copied), or -1 for no store.
//
int
FirstCopiedByte (const HobListBuilder &List)
{
  EmulatedBoard  Board;
  Bytes          Variable (22247, 0);

  Variable[18251] = 1;
  Board.Variables.Put (IioName, IioGuid, EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS, Variable);
  Board.SetHobList (List);
  Board.Runner.RunBoot ();
  if (Board.Trace.Count ("SetVariable") == 0) {
    return -1;
  }

  return Board.Variables.Find (IioName, IioGuid)->Data[9150];
}

}  // namespace

TEST (HobWalk, DecoysAreSkippedAndTheFirstMatchWins) {
  UINT8  FirstHalf[16];
  UINT8  SecondHalf[16];
  std::memcpy (FirstHalf, IioHobName, 16);
  std::memcpy (SecondHalf, IioHobName, 16);
  FirstHalf[15] ^= 0xFF;    // first eight bytes match only
  SecondHalf[0] ^= 0xFF;    // last eight bytes match only

  struct {
    const char      *Name;
    HobListBuilder  List;
    int             Expected;
  } Cases[] = {
    { "the IIO source HOB alone", HobListBuilder ().AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), 0xB2 },
    { "a header-only GUID HOB before it",
      HobListBuilder ().AddRaw ({ 0x04, 0x00, 0x08, 0x00, 0, 0, 0, 0 }).AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), 0xB2 },
    { "a non-GUID HOB carrying the name at offset 8",
      HobListBuilder ().AddRaw (RawHob (0x0003, IioHobName, Filled (0xA1))).AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), 0xB2 },
    { "a non-GUID HOB carrying the name, alone", HobListBuilder ().AddRaw (RawHob (0x0003, IioHobName, Filled (0xA1))).End (), -1 },
    { "a name matching the first half only",
      HobListBuilder ().AddRaw (RawHob (0x0004, FirstHalf, Filled (0xA1))).AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), 0xB2 },
    { "a name matching the second half only",
      HobListBuilder ().AddRaw (RawHob (0x0004, SecondHalf, Filled (0xA1))).AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), 0xB2 },
    { "a 24-byte IIO HOB with no data before a full one",
      HobListBuilder ().AddRaw (RawHob (0x0004, IioHobName, {})).AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), -1 },
    { "two full IIO HOBs", HobListBuilder ().AddRaw (RawHob (0x0004, IioHobName, Filled (0xC3))).AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), 0xC3 },
    { "the end of the list before it",
      HobListBuilder ().End ().AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End (), -1 },
  };

  for (const auto &Case : Cases) {
    EXPECT_EQ (FirstCopiedByte (Case.List), Case.Expected) << Case.Name;
  }
}

TEST (HobWalk, TheNameIsReadAtAnyAlignment) {
  //
  // A HOB list that starts 4 bytes off an 8-byte boundary: the name and its
  // halves are read as bytes, so the match does not depend on alignment.
  //
  Bytes  Raw = RawHob (0x0004, IioHobName, Filled (0xD4));
  Bytes  Variable (22247, 0);

  Raw.insert (Raw.end (), { 0xFF, 0xFF, 0x08, 0x00, 0, 0, 0, 0 });
  Variable[18251] = 1;

  static UINT64  Storage[1200];
  auto           *Odd = reinterpret_cast<UINT8 *>(Storage) + 4;
  std::memcpy (Odd, Raw.data (), Raw.size ());
  EmulatedBoard  Fresh;
  Fresh.Variables.Put (IioName, IioGuid, EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS, Variable);
  Fresh.SetHobList (Bytes ());
  BootScript  Publish;
  Publish.BeforeEntry = [&Fresh, Odd]() {
    EFI_GUID  HobList = { 0x7739F24C, 0x93D7, 0x11D4, { 0x9A, 0x3A, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D } };
    Fresh.Tables.AddConfigurationTable (HobList, Odd);
  };
  Fresh.Runner.RunBoot (Publish);
  ASSERT_EQ (Fresh.Trace.Count ("SetVariable"), 1u);
  EXPECT_EQ (Fresh.Variables.Find (IioName, IioGuid)->Data[9150], 0xD4);
}

TEST (HobWalk, TheEntryPointCachesTheHobList) {
  EmulatedBoard  Board;
  BootScript     Script;

  Board.SetHobList (HobListBuilder ().AddRaw (RawHob (0x0004, IioHobName, Filled (0xB2))).End ());
  Script.InstallIpmiTransport = false;
  Script.SignalReadyToBoot    = false;
  Board.Runner.RunBoot (Script);

  //
  // No hook has run; the lookup made at entry still answers after the
  // configuration table has lost the entry.
  //
  Board.Tables.SystemTable ()->NumberOfTableEntries = 0;
  auto  Lookup = Board.Driver.Functions ().LookupHobList;
  EXPECT_EQ (Lookup (), Board.Tables.HobList ());
}
