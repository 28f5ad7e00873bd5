/** @file
  The driver's fixed contract, written out here as literal values rather than
  taken from the driver's own headers: the GUIDs byte for byte, the variable
  names, sizes and offsets, the preset table and the IIO copy map, the
  attributes passed back, and the arguments of every event the driver makes.
  A wrong constant in a header changes the driver and any test built from that
  header alike; these tests do not move with it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <Guid/BootHookTrigger.h>
#include <Guid/EventGroup.h>
#include <Guid/GlobalVariable.h>
#include <Guid/HobList.h>
#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Protocol/FruAccess.h>
#include <Protocol/IpmiTransport.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace Emu;

namespace {

//
// Each GUID as text and as the 16 bytes of an EFI_GUID in memory.
//
struct GuidFact {
  const char      *Role;
  const EFI_GUID  *Header;
  const char      *Text;
  UINT8           Bytes[16];
};

const GuidFact  Guids[] = {
  { "IPMI transport", &gIpmiTransportProtocolGuid, "4A1D0E66-5271-4E22-83FE-90921B748213",
    { 0x66, 0x0E, 0x1D, 0x4A, 0x71, 0x52, 0x22, 0x4E, 0x83, 0xFE, 0x90, 0x92, 0x1B, 0x74, 0x82, 0x13 } },
  { "FRU access", &gFruAccessProtocolGuid, "6AF735B6-7E0D-41CF-8431-D32FB7ACC023",
    { 0xB6, 0x35, 0xF7, 0x6A, 0x0D, 0x7E, 0xCF, 0x41, 0x84, 0x31, 0xD3, 0x2F, 0xB7, 0xAC, 0xC0, 0x23 } },
  { "boot-hook trigger", &gBootHookTriggerProtocolGuid, "5E90A50D-6955-4A49-9032-DA3812F8E8E5",
    { 0x0D, 0xA5, 0x90, 0x5E, 0x55, 0x69, 0x49, 0x4A, 0x90, 0x32, 0xDA, 0x38, 0x12, 0xF8, 0xE8, 0xE5 } },
  { "ready-to-boot group", &gEfiEventReadyToBootGuid, "7CE88FB3-4BD7-4679-87A8-A8D8DEE50D2B",
    { 0xB3, 0x8F, 0xE8, 0x7C, 0xD7, 0x4B, 0x79, 0x46, 0x87, 0xA8, 0xA8, 0xD8, 0xDE, 0xE5, 0x0D, 0x2B } },
  { "HOB list", &gEfiHobListGuid, "7739F24C-93D7-11D4-9A3A-0090273FC14D",
    { 0x4C, 0xF2, 0x39, 0x77, 0xD7, 0x93, 0xD4, 0x11, 0x9A, 0x3A, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D } },
  { "IIO source HOB", &gIioSourceHobGuid, "353BB17B-74AC-4895-B461-2C8C976830E6",
    { 0x7B, 0xB1, 0x3B, 0x35, 0xAC, 0x74, 0x95, 0x48, 0xB4, 0x61, 0x2C, 0x8C, 0x97, 0x68, 0x30, 0xE6 } },
  { "SocketPowerManagementConfig", &gSocketPowerManagementConfigGuid, "A1047342-BDBA-4DAE-A67A-40979B65C7F8",
    { 0x42, 0x73, 0x04, 0xA1, 0xBA, 0xBD, 0xAE, 0x4D, 0xA6, 0x7A, 0x40, 0x97, 0x9B, 0x65, 0xC7, 0xF8 } },
  { "SocketIioConfig", &gSocketIioConfigGuid, "DD84017E-7F52-48F9-B16E-50ED9E0DBE27",
    { 0x7E, 0x01, 0x84, 0xDD, 0x52, 0x7F, 0xF9, 0x48, 0xB1, 0x6E, 0x50, 0xED, 0x9E, 0x0D, 0xBE, 0x27 } },
  { "UEFI global variables (Driver####, DriverOrder)", &gEfiGlobalVariableGuid, "8BE4DF61-93CA-11D2-AA0D-00E098032B8C",
    { 0x61, 0xDF, 0xE4, 0x8B, 0xCA, 0x93, 0xD2, 0x11, 0xAA, 0x0D, 0x00, 0xE0, 0x98, 0x03, 0x2B, 0x8C } },
};

EFI_GUID
FromBytes (const UINT8 (&Bytes)[16])
{
  EFI_GUID  Guid;

  std::memcpy (&Guid, Bytes, sizeof (Guid));
  return Guid;
}

const EFI_GUID  PmGuid  = FromBytes (Guids[6].Bytes);
const EFI_GUID  IioGuid = FromBytes (Guids[7].Bytes);
const EFI_GUID  IioHob  = FromBytes (Guids[5].Bytes);

constexpr UINT32  NV = EFI_VARIABLE_NON_VOLATILE;
constexpr UINT32  BS = EFI_VARIABLE_BOOTSERVICE_ACCESS;
constexpr UINT32  RT = EFI_VARIABLE_RUNTIME_ACCESS;

const std::u16string  PmName  = u"SocketPowerManagementConfig";
const std::u16string  IioName = u"SocketIioConfig";

constexpr size_t  PM_SIZE      = 524;
constexpr size_t  PM_SELECTOR  = 419;
constexpr size_t  IIO_SIZE     = 22247;
constexpr size_t  IIO_SWITCH   = 18251;
constexpr size_t  IIO_HOB_DATA = 7229;

struct PresetRow {
  size_t  Offset;
  UINT8   Value[3];
};

const PresetRow  Presets[9] = {
  { 4, { 1, 1, 0 } }, { 17, { 1, 1, 1 } }, { 28, { 1, 1, 0 } },
  { 55, { 0, 2, 0 } }, { 58, { 0, 1, 0 } }, { 59, { 0, 1, 0 } },
  { 63, { 0, 1, 0 } }, { 86, { 1, 1, 1 } }, { 87, { 0, 15, 0 } },
};

Bytes
PmInForce (UINT8 Selector)
{
  Bytes  Data (PM_SIZE, 0x5C);

  Data[PM_SELECTOR] = Selector;
  for (const PresetRow &Row : Presets) {
    Data[Row.Offset] = Row.Value[Selector];
  }

  return Data;
}

}  // namespace

TEST (Contract, GuidsByteForByte) {
  for (const GuidFact &G : Guids) {
    EXPECT_EQ (std::memcmp (G.Header, G.Bytes, sizeof (EFI_GUID)), 0) << G.Role;
    EXPECT_EQ (GuidName (*G.Header), G.Text) << G.Role;
  }
}

TEST (Contract, LoadOptionLayoutOfTheDeploymentApps) {
  // A Driver#### load option: UINT32 attributes, UINT16 file path length,
  // then the description, packed; active is bit 0.
  EXPECT_EQ (LOAD_OPTION_ATTRIBUTES_OFFSET, 0u);
  EXPECT_EQ (LOAD_OPTION_FILE_PATH_LENGTH_OFFSET, 4u);
  EXPECT_EQ (LOAD_OPTION_DESCRIPTION_OFFSET, 6u);
  EXPECT_EQ (LOAD_OPTION_ACTIVE, 1u);
}

TEST (Contract, PresetTableOfNineBytesForEachSelector) {
  for (UINT8 Selector = 0; Selector < 3; Selector++) {
    //
    // In force: nothing written, no reset.
    //
    {
      EmulatedBoard  Board;
      Board.Variables.Put (PmName, PmGuid, NV | BS | RT, PmInForce (Selector));
      EXPECT_EQ (Board.Runner.RunBoot ().End, BootEnd::Completed) << int (Selector);
      EXPECT_EQ (Board.Trace.Count ("SetVariable"), 0u) << int (Selector);
    }

    //
    // Each of the nine bytes off by one: the whole preset stored, then reset.
    //
    for (const PresetRow &Row : Presets) {
      EmulatedBoard  Board;
      Bytes          Stored = PmInForce (Selector);
      Stored[Row.Offset] ^= 0x01;
      Board.Variables.Put (PmName, PmGuid, NV | BS | RT, Stored);
      BootRecord     Boot = Board.Runner.RunBoot ();
      EXPECT_EQ (Boot.End, BootEnd::ResetByPortCf9) << int (Selector) << " @" << Row.Offset;
      EXPECT_EQ (Boot.ResetValue, 0x0E);
      EXPECT_EQ (Board.Variables.Find (PmName, PmGuid)->Data, PmInForce (Selector)) << int (Selector) << " @" << Row.Offset;
    }
  }

  //
  // The selector is byte 419: a preset in force for selector 1 is out of force
  // for selector 2 written there.
  //
  EmulatedBoard  Board;
  Bytes          Stored = PmInForce (1);
  Stored[PM_SELECTOR] = 2;
  Board.Variables.Put (PmName, PmGuid, NV | BS | RT, Stored);
  EXPECT_EQ (Board.Runner.RunBoot ().End, BootEnd::ResetByPortCf9);
  EXPECT_EQ (Board.Variables.Find (PmName, PmGuid)->Data, PmInForce (2));
}

TEST (Contract, VariablesAreReadAndStoredWithTheirOwnSizeAndAttributes) {
  EmulatedBoard  Board;
  Bytes          Pm = PmInForce (0);
  Bytes          Iio (IIO_SIZE, 0x0F);
  Bytes          Hob (IIO_HOB_DATA);

  for (size_t Index = 0; Index < Hob.size (); Index++) {
    Hob[Index] = static_cast<UINT8>(Index * 31 + 7);
  }

  Pm[87] = 7;
  Iio[IIO_SWITCH] = 1;
  Board.Variables.Put (PmName, PmGuid, NV | BS, Pm);
  Board.Variables.Put (IioName, IioGuid, NV | BS, Iio);
  Board.SetHobList (HobListBuilder ().AddGuidHob (IioHob, Hob).End ());
  auto  Boots = Board.Runner.RunBoots ();
  ASSERT_EQ (Boots.size (), 2u);

  //
  // Both stores pass back the attributes read, NV|BS here, and the full size.
  //
  std::vector<TraceEntry>  Stores = Board.Trace.Select ("SetVariable");
  ASSERT_EQ (Stores.size (), 2u);
  EXPECT_EQ (Stores[0].Detail.rfind ("SocketPowerManagementConfig", 0), 0u);
  EXPECT_EQ (Stores[0].A, PM_SIZE);
  EXPECT_EQ (Stores[0].B, NV | BS);
  EXPECT_EQ (Stores[1].Detail.rfind ("SocketIioConfig", 0), 0u);
  EXPECT_EQ (Stores[1].A, IIO_SIZE);
  EXPECT_EQ (Stores[1].B, NV | BS);
  for (const TraceEntry &Read : Board.Trace.Select ("GetVariable")) {
    EXPECT_EQ (Read.A, (Read.Detail.rfind ("SocketIio", 0) == 0) ? IIO_SIZE : PM_SIZE) << Read.Detail;
  }

  //
  // The copy map: four ranges, 144 bytes, the switch byte untouched.
  //
  Bytes  Expected = Iio;
  struct { size_t Var, Hob, Len; } Ranges[] = { { 9150, 6953, 16 }, { 9190, 6986, 56 }, { 9254, 7043, 56 }, { 9598, 7213, 16 } };
  for (const auto &R : Ranges) {
    std::copy (Hob.begin () + R.Hob, Hob.begin () + R.Hob + R.Len, Expected.begin () + R.Var);
  }

  EXPECT_EQ (Board.Variables.Find (IioName, IioGuid)->Data, Expected);
  EXPECT_EQ (Board.Variables.Find (IioName, IioGuid)->Attributes, NV | BS);
}

TEST (Contract, TheIioSwitchIsByte18251) {
  Bytes  Hob (IIO_HOB_DATA, 0x99);

  for (UINT8 Switch : { 0, 1, 2 }) {
    EmulatedBoard  Board;
    Bytes          Iio (IIO_SIZE, 0x01);
    Iio[IIO_SWITCH] = Switch;
    Board.Variables.Put (IioName, IioGuid, NV | BS | RT, Iio);
    Board.SetHobList (HobListBuilder ().AddGuidHob (IioHob, Hob).End ());
    Board.Runner.RunBoot ();
    EXPECT_EQ (Board.Trace.Count ("SetVariable"), (Switch == 1) ? 1u : 0u) << int (Switch);
  }
}

TEST (Contract, EventsAreNotifySignalAtCallbackWithNoContext) {
  EmulatedBoard  Board;
  Board.Runner.RunBoot ();

  auto  Creates = Board.Trace.Select ("CreateEvent");
  ASSERT_EQ (Creates.size (), 2u);
  for (const TraceEntry &C : Creates) {
    EXPECT_EQ (C.Detail.rfind ("type=0x200 tpl=8 context=NULL ->", 0), 0u) << C.Detail;
  }

  auto  Groups = Board.Trace.Select ("CreateEventEx");
  ASSERT_EQ (Groups.size (), 1u);
  EXPECT_EQ (Groups[0].Detail.rfind ("type=0x200 tpl=8 context=NULL group=7CE88FB3-4BD7-4679-87A8-A8D8DEE50D2B ->", 0), 0u) << Groups[0].Detail;

  auto  Registrations = Board.Trace.Select ("RegisterProtocolNotify");
  ASSERT_EQ (Registrations.size (), 2u);
  EXPECT_EQ (Registrations[0].Detail.rfind ("4A1D0E66-5271-4E22-83FE-90921B748213", 0), 0u);
  EXPECT_EQ (Registrations[1].Detail.rfind ("5E90A50D-6955-4A49-9032-DA3812F8E8E5", 0), 0u);

  //
  // The FRU access protocol goes on a new handle under its own GUID, after
  // the IPMI transport was located.
  //
  auto  Locates = Board.Trace.Select ("LocateProtocol");
  ASSERT_GE (Locates.size (), 2u);
  EXPECT_EQ (Locates[0].Detail.rfind ("4A1D0E66-5271-4E22-83FE-90921B748213", 0), 0u);
  EXPECT_EQ (Locates[1].Detail.rfind ("6AF735B6-7E0D-41CF-8431-D32FB7ACC023", 0), 0u);
  auto  Installs = Board.Trace.Select ("InstallProtocolInterface");
  ASSERT_GE (Installs.size (), 2u);
  EXPECT_EQ (Installs[1].Detail.rfind ("6AF735B6-7E0D-41CF-8431-D32FB7ACC023", 0), 0u) << Installs[1].Detail;
}
