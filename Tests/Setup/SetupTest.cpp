/** @file
  The setup fix-ups across boots on the emulated board: the power-management
  preset's two-boot cycle, the IIO import and the CMOS boot marker.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>

#include <gtest/gtest.h>
#include <Library/TavriBaseLib.h>

using namespace Emu;

namespace {


const std::u16string  PmName  = SOCKET_POWER_MANAGEMENT_CONFIG_NAME;
const std::u16string  IioName = SOCKET_IIO_CONFIG_NAME;

Bytes
PmVariable (UINT8 Selector, int InForceFor)
{
  Bytes  Data (SOCKET_POWER_MANAGEMENT_CONFIG_SIZE, 0x33);

  Data[PM_PRESET_SELECTOR_OFFSET] = Selector;
  if (InForceFor >= 0) {
    for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
      Data[Entry.Offset] = Entry.Value[InForceFor];
    }
  }

  return Data;
}

size_t
ResetWrites (const EmulatedBoard &Board)
{
  size_t  Count = 0;

  for (const TraceEntry &E : Board.Trace.Select ("IoWrite8")) {
    Count += ((E.A == 0xCF9) && (E.B == 0x0E)) ? 1 : 0;
  }

  return Count;
}

}  // namespace

TEST (PowerPreset, MismatchStoresThePresetResetsAndTheNextBootPasses) {
  EmulatedBoard  Board;
  Bytes          Stored = PmVariable (1, 1);

  Stored[87] = 14;
  Board.Variables.Put (PmName, gSocketPowerManagementConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Stored);
  auto  Boots = Board.Runner.RunBoots ();

  ASSERT_EQ (Boots.size (), 2u);
  EXPECT_EQ (Boots[0].End, BootEnd::ResetByPortCf9);
  EXPECT_EQ (Boots[0].ResetValue, 0x0E);
  EXPECT_EQ (Boots[1].End, BootEnd::Completed);
  EXPECT_EQ (Board.Variables.Find (PmName, gSocketPowerManagementConfigGuid)->Data, PmVariable (1, 1));
  EXPECT_EQ (Board.Variables.Find (PmName, gSocketPowerManagementConfigGuid)->Attributes, TAVRI_VARIABLE_NV_BS_RT);
  EXPECT_EQ (Board.Trace.Count ("SetVariable", Boots[1].TraceBegin), 0u);

  //
  // The reset ended boot 1 where it happened: the later hooks ran only in boot 2.
  //
  EXPECT_EQ (Board.Trace.Count ("IpmiCommand", Boots[0].TraceBegin) - Board.Trace.Count ("IpmiCommand", Boots[1].TraceBegin), 0u);
}

TEST (PowerPreset, EachSelectorAndItsMismatches) {
  struct {
    const char  *Name;
    UINT8       Selector;
    int         InForce;
    UINTN       Poke;
    UINT8       PokeValue;
    bool        Rewrites;
  } Cases[] = {
    { "selector 1 in force", 1, 1, 0, 0, false },
    { "selector 0 in force", 0, 0, 0, 0, false },
    { "selector 2 with bytes 4 and 28 at 1", 2, 2, 4, 1, true },
    { "byte 17 zero", 0, 0, 17, 0, true },
    { "byte 86 zero", 1, 1, 86, 0, true },
    { "selector 3 names no preset", 3, -1, 0, 0, false },
    { "selector 0xFF names no preset", 0xFF, -1, 0, 0, false },
  };

  for (const auto &Case : Cases) {
    EmulatedBoard  Board;
    Bytes          Stored = PmVariable (Case.Selector, Case.InForce);
    if (Case.Poke != 0) {
      Stored[Case.Poke] = Case.PokeValue;
      if (Case.Poke == 4) {
        Stored[28] = 1;
      }
    }

    Board.Variables.Put (PmName, gSocketPowerManagementConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Stored);
    BootRecord  Boot = Board.Runner.RunBoot ();
    EXPECT_EQ (Boot.End, Case.Rewrites ? BootEnd::ResetByPortCf9 : BootEnd::Completed) << Case.Name;
    EXPECT_EQ (Board.Trace.Count ("SetVariable") > 0 && Board.Trace.Select ("SetVariable")[0].Detail.rfind ("SocketPower", 0) == 0, Case.Rewrites) << Case.Name;
    Bytes  Expected = Case.Rewrites ? PmVariable (Case.Selector, Case.InForce) : Stored;
    EXPECT_EQ (Board.Variables.Find (PmName, gSocketPowerManagementConfigGuid)->Data, Expected) << Case.Name;
  }
}

TEST (PowerPreset, FailuresNeitherWriteNorReset) {
  struct {
    const char  *Name;
    size_t      Size;
    const char  *Fail;
    EFI_STATUS  Status;
  } Cases[] = {
    { "SetVariable fails: no reset", 524, "SetVariable", EFI_OUT_OF_RESOURCES },
    { "GetVariable fails: no write", 524, "GetVariable", EFI_DEVICE_ERROR },
    { "stored larger than 524", 525, nullptr, 0 },
    { "stored smaller than 524", 523, nullptr, 0 },
  };

  for (const auto &Case : Cases) {
    EmulatedBoard  Board;
    Bytes          Stored = PmVariable (1, 0);
    Stored.resize (Case.Size, 0x33);
    Board.Variables.Put (PmName, gSocketPowerManagementConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Stored);
    BootScript  Script;
    Script.BeforeEntry = [&Board, &Case]() {
      if (Case.Fail != nullptr) {
        Board.Faults.FailNext (Case.Fail, Case.Status);
      }
    };
    BootRecord  Boot = Board.Runner.RunBoot (Script);

    EXPECT_EQ (Boot.End, BootEnd::Completed) << Case.Name;
    EXPECT_EQ (ResetWrites (Board), 0u) << Case.Name;
    EXPECT_EQ (Board.Variables.Find (PmName, gSocketPowerManagementConfigGuid)->Data, Stored) << Case.Name;
    EXPECT_GE (Board.Trace.Count ("IpmiCommand"), 1u) << Case.Name << ": the later hooks still run";
  }
}

namespace {

Bytes
IioHobData (size_t Size = IIO_SOURCE_HOB_MIN_DATA_SIZE)
{
  Bytes  Data (Size);

  for (size_t Index = 0; Index < Size; Index++) {
    Data[Index] = static_cast<UINT8>(Index * 13 + 5);
  }

  return Data;
}

Bytes
IioVariable (UINT8 Switch, size_t Size = SOCKET_IIO_CONFIG_SIZE)
{
  Bytes  Data (Size, 0xAB);

  if (Size > IIO_HOB_IMPORT_SWITCH_OFFSET) {
    Data[IIO_HOB_IMPORT_SWITCH_OFFSET] = Switch;
  }

  return Data;
}

struct IioBoard {
  explicit IioBoard (const Bytes &Variable, const HobListBuilder &Hobs)
  {
    Board.Variables.Put (IioName, gSocketIioConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Variable);
    Board.SetHobList (Hobs);
    Board.Runner.RunBoot ();
  }

  const Bytes &Stored () { return Board.Variables.Find (IioName, gSocketIioConfigGuid)->Data; }
  size_t       Stores () { size_t N = 0; for (auto &E : Board.Trace.Select ("SetVariable")) { N += E.Detail.rfind ("SocketIio", 0) == 0; } return N; }

  EmulatedBoard  Board;
};

}  // namespace

TEST (IioImport, CopiesTheFourRangesOfBothSocketsAndNothingElse) {
  EFI_GUID  Other = { 0x11111111, 0x2222, 0x3333, { 4, 4, 4, 4, 4, 4, 4, 4 } };
  Bytes     Hob   = IioHobData ();
  IioBoard  B (IioVariable (1), HobListBuilder ().AddGuidHob (Other, Bytes (40, 0x77)).AddGuidHob (gIioSourceHobGuid, Hob).End ());

  Bytes  Expected = IioVariable (1);
  struct { size_t Var, Hob, Len; } Ranges[] = { { 9150, 6953, 16 }, { 9190, 6986, 56 }, { 9254, 7043, 56 }, { 9598, 7213, 16 } };
  for (const auto &R : Ranges) {
    std::copy (Hob.begin () + R.Hob, Hob.begin () + R.Hob + R.Len, Expected.begin () + R.Var);
  }

  ASSERT_EQ (B.Stores (), 1u);
  EXPECT_EQ (B.Stored (), Expected);
  for (size_t Untouched : { 9182, 9189, 9246, 9253 }) {
    EXPECT_EQ (B.Stored ()[Untouched], 0xAB) << Untouched;
  }

  EXPECT_EQ (B.Board.Variables.Find (IioName, gSocketIioConfigGuid)->Attributes, TAVRI_VARIABLE_NV_BS_RT);
}

TEST (IioImport, SkippedRecordBytesNeverReachTheVariable) {
  Bytes  Hob (IIO_SOURCE_HOB_MIN_DATA_SIZE, 0x10);

  Hob[6985] = 0xE1;
  Hob[7042] = 0xE2;
  IioBoard  B (IioVariable (1), HobListBuilder ().AddGuidHob (gIioSourceHobGuid, Hob).End ());
  EXPECT_EQ (std::count (B.Stored ().begin (), B.Stored ().end (), 0xE1), 0);
  EXPECT_EQ (std::count (B.Stored ().begin (), B.Stored ().end (), 0xE2), 0);
}

TEST (IioImport, StoresOnEveryBootWithTheSwitchOn) {
  IioBoard  B (IioVariable (1), HobListBuilder ().AddGuidHob (gIioSourceHobGuid, IioHobData ()).End ());

  B.Board.Runner.RunBoot ();
  EXPECT_EQ (B.Stores (), 2u);
}

TEST (IioImport, RefusalsWriteNothing) {
  struct {
    const char      *Name;
    Bytes           Variable;
    HobListBuilder  Hobs;
  } Cases[] = {
    { "switch 0", IioVariable (0), HobListBuilder ().AddGuidHob (gIioSourceHobGuid, IioHobData ()).End () },
    { "variable of 22,246 bytes", IioVariable (1, 22246), HobListBuilder ().AddGuidHob (gIioSourceHobGuid, IioHobData ()).End () },
    { "variable of 22,248 bytes", IioVariable (1, 22248), HobListBuilder ().AddGuidHob (gIioSourceHobGuid, IioHobData ()).End () },
    { "no IIO source HOB", IioVariable (1), HobListBuilder ().AddHob (EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 48).End () },
    { "HOB data shorter than 7229 bytes", IioVariable (1), HobListBuilder ().AddGuidHob (gIioSourceHobGuid, IioHobData (7224)).End () },
    { "HobLength 0 loops no more", IioVariable (1), HobListBuilder ().AddRaw ({ 0x04, 0x00, 0x00, 0x00, 0, 0, 0, 0 }).AddGuidHob (gIioSourceHobGuid, IioHobData ()).End () },
    { "HobLength not a multiple of 8", IioVariable (1), HobListBuilder ().AddRaw ({ 0x03, 0x00, 0x0C, 0x00, 0, 0, 0, 0, 0, 0, 0, 0 }).AddGuidHob (gIioSourceHobGuid, IioHobData ()).End () },
    { "HobLength shorter than a header", IioVariable (1), HobListBuilder ().AddRaw ({ 0x03, 0x00, 0x04, 0x00, 0, 0, 0, 0 }).End () },
  };

  for (auto &Case : Cases) {
    IioBoard  B (Case.Variable, Case.Hobs);
    EXPECT_EQ (B.Stores (), 0u) << Case.Name;
    EXPECT_EQ (B.Stored (), Case.Variable) << Case.Name;
  }

  //
  // No HOB list at all, and GetVariable with a warning.
  //
  EmulatedBoard  Board;
  Board.Variables.Put (IioName, gSocketIioConfigGuid, TAVRI_VARIABLE_NV_BS_RT, IioVariable (1));
  Board.Runner.RunBoot ();
  EXPECT_EQ (Board.Trace.Count ("SetVariable"), 0u);

  Board.SetHobList (HobListBuilder ().AddGuidHob (gIioSourceHobGuid, IioHobData ()).End ());
  BootScript  Script;
  Script.BeforeEntry = [&Board]() { Board.Faults.FailNext ("GetVariable:SocketIioConfig", EFI_WARN_STALE_DATA); };
  Board.Trace.Clear ();
  Board.Runner.RunBoot (Script);
  EXPECT_EQ (Board.Trace.Count ("SetVariable"), 0u) << "a warning is not EFI_SUCCESS";
}

TEST (CmosMarker, SixPortAccessesThroughTheExtendedBankOnly) {
  for (UINT8 Already : { 0x00, 0x55 }) {
    EmulatedBoard  Board;
    Board.Chip.SetExtendedCmos (0x81, Already);
    Board.Chip.SetStandardCmos (0x01, 0x42);
    Board.Runner.RunBoot ();

    std::vector<std::pair<UINT64, UINT64>>  Ports;
    for (const TraceEntry &E : Board.Trace.Entries ()) {
      if ((E.Op == "IoWrite8") || (E.Op == "IoRead8")) {
        Ports.push_back ({ E.A, (E.Op == "IoWrite8") ? E.B : 0x100 + E.B });
      }
    }

    std::vector<std::pair<UINT64, UINT64>>  Expected = {
      { 0x72, 0x81 }, { 0x73, 0x100 + Already }, { 0x72, 0x81 }, { 0x73, 0x55 }, { 0x72, 0x81 }, { 0x73, 0x155 }
    };
    EXPECT_EQ (Ports, Expected);
    EXPECT_EQ (Board.Chip.ExtendedCmos (0x81), 0x55);
    EXPECT_EQ (Board.Chip.StandardCmos (0x01), 0x42);
  }
}

TEST (IpmiReadyList, AllFiveHooksRunInOrder) {
  EmulatedBoard  Board;

  Board.Bmc.SetFruDevice (0, Bytes (256, 1));
  Board.Variables.Put (PmName, gSocketPowerManagementConfigGuid, TAVRI_VARIABLE_NV_BS_RT, PmVariable (0, 0));
  Board.Variables.Put (IioName, gSocketIioConfigGuid, TAVRI_VARIABLE_NV_BS_RT, IioVariable (1));
  Board.SetHobList (HobListBuilder ().AddGuidHob (gIioSourceHobGuid, IioHobData ()).End ());
  Board.Runner.RunBoot ();

  std::vector<std::string>  Order;
  for (const TraceEntry &E : Board.Trace.Entries ()) {
    std::string  Step;
    if (E.Op == "GetVariable") {
      Step = E.Detail.substr (0, E.Detail.find (' '));
    } else if (E.Op == "InstallProtocolInterface" && E.Detail.rfind ("6AF735B6", 0) == 0) {
      Step = "InstallFru";
    } else if (E.Op == "IpmiCommand") {
      Step = "Probe";
    } else if (E.Op == "IoWrite8") {
      Step = "Cmos";
    }

    if (!Step.empty () && (Order.empty () || Order.back () != Step)) {
      Order.push_back (Step);
    }
  }

  EXPECT_EQ (Order, (std::vector<std::string> { "SocketPowerManagementConfig", "InstallFru", "Probe", "Cmos", "SocketIioConfig" }));
  EXPECT_EQ (Board.Tables.AllocationCalls (), 0u);
}
