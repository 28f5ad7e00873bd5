/** @file
  What each IPMI-ready hook returns, called directly after a boot, and the
  list going on when a hook fails: the statuses callers and logs can rely on.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include <gtest/gtest.h>

#include <cstring>
#include <Library/TavriBaseLib.h>

using namespace Emu;

namespace {

const EFI_GUID  PmGuid  = { 0xA1047342, 0xBDBA, 0x4DAE, { 0xA6, 0x7A, 0x40, 0x97, 0x9B, 0x65, 0xC7, 0xF8 } };
const EFI_GUID  IioGuid = { 0xDD84017E, 0x7F52, 0x48F9, { 0xB1, 0x6E, 0x50, 0xED, 0x9E, 0x0D, 0xBE, 0x27 } };
const EFI_GUID  IioHob  = { 0x353BB17B, 0x74AC, 0x4895, { 0xB4, 0x61, 0x2C, 0x8C, 0x97, 0x68, 0x30, 0xE6 } };
const EFI_GUID  FruGuid = { 0x6AF735B6, 0x7E0D, 0x41CF, { 0x84, 0x31, 0xD3, 0x2F, 0xB7, 0xAC, 0xC0, 0x23 } };

constexpr UINT32  BS_RT    = EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;

const std::u16string  PmName  = u"SocketPowerManagementConfig";
const std::u16string  IioName = u"SocketIioConfig";

///
/// One of the IPMI-ready hooks that answer a status, as the loaded image has it.
///
using HOOK = EFI_STATUS (EFIAPI *TavriDxeFunctions::*)(VOID);

//
// Selector 1 with byte 87 at 14 instead of 15: out of force.
//
Bytes
PmOutOfForce (size_t Size = 524)
{
  Bytes  Data (Size, 0);

  for (size_t Offset : { 4, 17, 28, 58, 59, 63, 86 }) {
    Data[Offset] = 1;
  }

  Data[55]  = 2;
  Data[87]  = 14;
  Data[419] = 1;
  return Data;
}

Bytes
IioVariable (UINT8 Switch, size_t Size = 22247)
{
  Bytes  Data (Size, 0x42);

  if (Size > 18251) {
    Data[18251] = Switch;
  }

  return Data;
}

//
// A board booted once with the hooks' inputs in place (volatile variables
// too: they are put in place within the boot) and the IPMI transport never
// installed, so that the test calls each hook itself.
//
struct HookBench {
  explicit HookBench (const std::function<void (EmulatedBoard &)> &Setup = nullptr)
  {
    BootScript  Script;

    Board.SetHobList (HobListBuilder ().AddGuidHob (IioHob, Bytes (7229, 0x3C)).End ());
    Script.InstallIpmiTransport = false;
    Script.SignalReadyToBoot    = false;
    Script.BeforeEntry          = [this, Setup]() {
      if (Setup) {
        Setup (Board);
      }
    };
    Board.Runner.RunBoot (Script);
  }

  EFI_STATUS
  Call (HOOK Hook, BootEnd *End = nullptr)
  {
    EFI_STATUS  Status = EFI_SUCCESS;
    auto        Fn     = Board.Driver.Functions ().*Hook;
    BootEnd     How    = Board.Runner.RunUntilReset ([&]() { Status = Fn (); });

    if (End != nullptr) {
      *End = How;
    }

    return Status;
  }

  size_t
  Stores ()
  {
    return Board.Trace.Count ("SetVariable");
  }

  EmulatedBoard  Board;
};

}  // namespace

TEST (HookStatus, PowerManagementPreset) {
  struct {
    const char  *Name;
    bool        Put;
    size_t      Size;
    UINT32      Attributes;
    const char  *Fail;
    EFI_STATUS  Injected;
    EFI_STATUS  Expected;
    bool        Stores;
    bool        Resets;
  } Cases[] = {
    { "no variable", false, 524, TAVRI_VARIABLE_NV_BS_RT, nullptr, 0, EFI_NOT_FOUND, false, false },
    { "523 bytes", true, 523, TAVRI_VARIABLE_NV_BS_RT, nullptr, 0, EFI_BAD_BUFFER_SIZE, false, false },
    { "525 bytes", true, 525, TAVRI_VARIABLE_NV_BS_RT, nullptr, 0, EFI_BUFFER_TOO_SMALL, false, false },
    { "GetVariable error", true, 524, TAVRI_VARIABLE_NV_BS_RT, "GetVariable", EFI_DEVICE_ERROR, EFI_DEVICE_ERROR, false, false },
    { "GetVariable warning goes on", true, 524, TAVRI_VARIABLE_NV_BS_RT, "GetVariable", EFI_WARN_STALE_DATA, EFI_SUCCESS, true, true },
    { "SetVariable error", true, 524, TAVRI_VARIABLE_NV_BS_RT, "SetVariable", EFI_OUT_OF_RESOURCES, EFI_OUT_OF_RESOURCES, false, false },
    { "volatile variable", true, 524, BS_RT, nullptr, 0, EFI_UNSUPPORTED, false, false },
    { "stored and reset", true, 524, TAVRI_VARIABLE_NV_BS_RT, nullptr, 0, EFI_SUCCESS, true, true },
  };

  for (const auto &Case : Cases) {
    HookBench  Bench ([&Case](EmulatedBoard &Board) {
      if (Case.Put) {
        Board.Variables.Put (PmName, PmGuid, Case.Attributes, PmOutOfForce (Case.Size));
      }
    });
    if (Case.Fail != nullptr) {
      Bench.Board.Faults.FailNext (Case.Fail, Case.Injected);
    }

    BootEnd     End;
    EFI_STATUS  Status = Bench.Call (&TavriDxeFunctions::EnforcePowerManagementPreset, &End);
    EXPECT_EQ (End, Case.Resets ? BootEnd::ResetByPortCf9 : BootEnd::Completed) << Case.Name;
    if (!Case.Resets) {
      EXPECT_EQ (Status, Case.Expected) << Case.Name << ": " << StatusName (Status);
    }

    EXPECT_EQ (Bench.Board.Trace.Count ("SetVariable") > 0 && Bench.Board.Trace.Select ("SetVariable").back ().Status == EFI_SUCCESS, Case.Stores) << Case.Name;
    if (Case.Put && !Case.Stores) {
      EXPECT_EQ (Bench.Board.Variables.Find (PmName, PmGuid)->Data, PmOutOfForce (Case.Size)) << Case.Name;
    }
  }

  //
  // In force, or a selector naming no preset: EFI_SUCCESS with nothing done.
  //
  for (UINT8 Selector : { 1, 3 }) {
    Bytes      InForce = PmOutOfForce ();
    InForce[87]  = 15;
    InForce[419] = Selector;
    HookBench  Bench ([&InForce](EmulatedBoard &Board) { Board.Variables.Put (PmName, PmGuid, BS_RT, InForce); });
    EXPECT_EQ (Bench.Call (&TavriDxeFunctions::EnforcePowerManagementPreset), EFI_SUCCESS) << int (Selector);
    EXPECT_EQ (Bench.Stores (), 0u);
  }
}

TEST (HookStatus, IioImport) {
  struct {
    const char  *Name;
    Bytes       Variable;
    const char  *Fail;
    EFI_STATUS  Injected;
    EFI_STATUS  Expected;
  } Cases[] = {
    { "stored", IioVariable (1), nullptr, 0, EFI_SUCCESS },
    { "switch 0", IioVariable (0), nullptr, 0, EFI_ABORTED },
    { "switch 2", IioVariable (2), nullptr, 0, EFI_ABORTED },
    { "22,246 bytes", IioVariable (1, 22246), nullptr, 0, EFI_BAD_BUFFER_SIZE },
    { "22,248 bytes", IioVariable (1, 22248), nullptr, 0, EFI_BUFFER_TOO_SMALL },
    { "GetVariable error", IioVariable (1), "GetVariable", EFI_DEVICE_ERROR, EFI_DEVICE_ERROR },
    { "GetVariable warning", IioVariable (1), "GetVariable", EFI_WARN_STALE_DATA, EFI_WARN_STALE_DATA },
    { "SetVariable error", IioVariable (1), "SetVariable", EFI_OUT_OF_RESOURCES, EFI_OUT_OF_RESOURCES },
  };

  for (const auto &Case : Cases) {
    HookBench  Bench ([&Case](EmulatedBoard &Board) { Board.Variables.Put (IioName, IioGuid, TAVRI_VARIABLE_NV_BS_RT, Case.Variable); });
    if (Case.Fail != nullptr) {
      Bench.Board.Faults.FailNext (Case.Fail, Case.Injected);
    }

    EXPECT_EQ (Bench.Call (&TavriDxeFunctions::ImportIioConfigFromHob), Case.Expected) << Case.Name;
    bool  Stored = Case.Expected == EFI_SUCCESS;
    EXPECT_EQ (Bench.Board.Variables.Find (IioName, IioGuid)->Data == Case.Variable, !Stored) << Case.Name;
  }

  //
  // No variable at all: GetVariable's EFI_NOT_FOUND. No HOB list, a list
  // without the IIO source HOB, a HOB too short for the copy map.
  //
  {
    HookBench  NoVariable;
    EXPECT_EQ (NoVariable.Call (&TavriDxeFunctions::ImportIioConfigFromHob), EFI_NOT_FOUND);
  }

  struct {
    const char  *Name;
    Bytes       Hobs;
    EFI_STATUS  Expected;
  } Lists[] = {
    { "no HOB list", {}, EFI_NOT_FOUND },
    { "no IIO source HOB", HobListBuilder ().AddHob (0x0003, 48).End ().Data (), EFI_NOT_FOUND },
    { "7,224 data bytes", HobListBuilder ().AddGuidHob (IioHob, Bytes (7224, 1)).End ().Data (), EFI_BAD_BUFFER_SIZE },
    { "7,229 data bytes", HobListBuilder ().AddGuidHob (IioHob, Bytes (7229, 1)).End ().Data (), EFI_SUCCESS },
  };

  for (const auto &List : Lists) {
    HookBench  Bench ([&List](EmulatedBoard &Board) {
      Board.SetHobList (List.Hobs);
      Board.Variables.Put (IioName, IioGuid, TAVRI_VARIABLE_NV_BS_RT, IioVariable (1));
    });
    EXPECT_EQ (Bench.Call (&TavriDxeFunctions::ImportIioConfigFromHob), List.Expected) << List.Name;
    EXPECT_EQ (Bench.Stores (), (List.Expected == EFI_SUCCESS) ? 1u : 0u) << List.Name;
  }
}

TEST (HookStatus, FruHooksAndTheCmosReadBack) {
  //
  // Without the IPMI transport: LocateProtocol's status, nothing installed,
  // and the probe finds no FRU access protocol.
  //
  {
    HookBench  Bench;
    EXPECT_EQ (Bench.Call (&TavriDxeFunctions::InstallFruAccessProtocol), EFI_NOT_FOUND);
    EXPECT_EQ (Bench.Board.Protocols.Count (FruGuid), 0u);
    EXPECT_EQ (Bench.Call (&TavriDxeFunctions::ProbeFruRead), EFI_NOT_FOUND);
  }

  //
  // With the transport installed before the entry point (so that no list
  // runs): installing succeeds, the probe reads 16 chunks, and a BMC refusal
  // reaches the probe's caller.
  //
  HookBench  Bench ([](EmulatedBoard &Board) {
    Board.Protocols.Install ({ 0x4A1D0E66, 0x5271, 0x4E22, { 0x83, 0xFE, 0x90, 0x92, 0x1B, 0x74, 0x82, 0x13 } }, Board.Transport.Interface ());
    Board.Bmc.SetFruDevice (0, Bytes (512, 0x11));
  });
  Bench.Board.Faults.FailNext ("InstallProtocolInterface", EFI_OUT_OF_RESOURCES);
  EXPECT_EQ (Bench.Call (&TavriDxeFunctions::InstallFruAccessProtocol), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ (Bench.Board.Protocols.Count (FruGuid), 0u);
  EXPECT_EQ (Bench.Call (&TavriDxeFunctions::InstallFruAccessProtocol), EFI_SUCCESS);
  EXPECT_EQ (Bench.Board.Protocols.Count (FruGuid), 1u);
  Bench.Board.Bmc.ClearRequests ();
  EXPECT_EQ (Bench.Call (&TavriDxeFunctions::ProbeFruRead), EFI_SUCCESS);
  EXPECT_EQ (Bench.Board.Bmc.Requests ().size (), 16u);
  Bench.Board.Bmc.QueueCompletionCode (0xC9);
  EXPECT_EQ (Bench.Call (&TavriDxeFunctions::ProbeFruRead), EFI_DEVICE_ERROR);

  //
  // The CMOS hook returns the byte it reads back after writing the marker.
  //
  auto  Cmos = Bench.Board.Driver.Functions ().WriteCmosBootMarker;
  Bench.Board.Chip.SetExtendedCmos (0x01, 0x99);
  EXPECT_EQ (Cmos (), 0x55u);
  EXPECT_EQ (Bench.Board.Chip.ExtendedCmos (0x01), 0x55) << "index 0x81 of the extended bank";
}

TEST (HookStatus, AFailingHookDoesNotStopTheList) {
  for (const char *Service : { "LocateProtocol:4A1D0E66-5271-4E22-83FE-90921B748213", "InstallProtocolInterface:6AF735B6-7E0D-41CF-8431-D32FB7ACC023" }) {
    EmulatedBoard  Board;
    BootScript     Script;
    Board.Variables.Put (IioName, IioGuid, TAVRI_VARIABLE_NV_BS_RT, IioVariable (1));
    Board.SetHobList (HobListBuilder ().AddGuidHob (IioHob, Bytes (7229, 0x3C)).End ());
    Script.BeforeEntry = [&Board, Service]() { Board.Faults.FailNext (Service, EFI_OUT_OF_RESOURCES); };
    Board.Runner.RunBoot (Script);

    EXPECT_EQ (Board.Protocols.Count (FruGuid), 0u) << Service;
    EXPECT_TRUE (Board.Bmc.Requests ().empty ()) << Service << ": no protocol, no probe";
    EXPECT_EQ (Board.Chip.ExtendedCmos (0x81 & 0x7F), 0x55) << Service;
    EXPECT_EQ (Board.Trace.Count ("SetVariable"), 1u) << Service << ": the IIO import still ran";
  }
}
