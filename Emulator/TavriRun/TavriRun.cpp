/** @file
  Runs the driver, boot by boot, on the emulated board, fed with a board
  team's own data or, for whatever is not given, a typical first boot: a
  power-management preset not in force, the IIO import switched on, an IIO
  source HOB, and a BMC with a FRU device 0 that answers busy once. Prints
  everything the driver did and what it left behind.

  Exits 0 when every entry point returned EFI_SUCCESS, every reset came
  through 0xCF9, a boot completed within the boots allowed, and the FRU
  access protocol it left reads FRU device 0; 1 when a boot ended otherwise;
  2 on a bad command line or file (one line saying which). TavriRun --help
  lists the options.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "BootStory.h"
#include "RunOptions.h"

#include <Board/EmulatedBoard.h>
#include <Board/FirstBootSetup.h>

#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Protocol/FruAccess.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace Emu;

namespace {

//
// A FRU device 0 in the IPMI FRU format: common header, then a board area
// stub; the rest is erased flash.
//
Bytes
TypicalFruImage ()
{
  Bytes  Image (256, 0xFF);
  UINT8  Header[8] = { 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00 };
  UINT8  Sum = 0;

  for (int Index = 0; Index < 7; Index++) {
    Sum = static_cast<UINT8>(Sum + Header[Index]);
  }

  Header[7] = static_cast<UINT8>(0 - Sum);
  std::memcpy (Image.data (), Header, sizeof (Header));
  const char  Board[] = "TAVRI-SRV-2S";
  std::memcpy (Image.data () + 8, Board, sizeof (Board) - 1);
  return Image;
}

void
SetUpBoard (EmulatedBoard &Board, const TavriRun::Options &Opts)
{
  SeedFirstBoot (Board.Cpu, Board.Variables, Board.Tables, 0, 1);
  if (Opts.Revision) {
    Board.Tables.SetRevision (*Opts.Revision);
  }

  Board.Bmc.SetFruDevice (0, TypicalFruImage ());
  for (const auto &Device : Opts.Fru) {
    Board.Bmc.SetFruDevice (Device.first, Device.second);
  }

  Board.Bmc.QueueBusy (Opts.Busy);
  for (const TavriRun::VariableFile &Var : Opts.Variables) {
    Board.Variables.Put (Var.Name, Var.Guid, Var.Attributes, Var.Data);
  }

  if (Opts.HobData) {
    Board.SetHobList (HobListBuilder ().AddHob (EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 48).AddGuidHob (gIioSourceHobGuid, *Opts.HobData).End ());
  }
}

void
ReportVariable (const char *Name, const Variable *Var, const std::vector<size_t> &Offsets, const char *What)
{
  std::printf ("  %s: ", Name);
  if (Var == nullptr) {
    std::printf ("missing\n");
    return;
  }

  std::printf ("%zu bytes, attributes 0x%X; %s:", Var->Data.size (), Var->Attributes, What);
  for (size_t Index : Offsets) {
    if (Index < Var->Data.size ()) {
      std::printf (" %02X", Var->Data[Index]);
    }
  }

  std::printf ("\n");
}

}  // namespace

int
main (int argc, char **argv)
{
  std::string  Error;
  auto         Opts = TavriRun::Parse (argc, argv, Error);

  if (!Opts) {
    std::fprintf (stderr, "TavriRun: %s\n", Error.c_str ());
    return 2;
  }

  if (Opts->Help) {
    std::printf ("%s", TavriRun::Usage ());
    return 0;
  }

  EmulatedBoard  Board;
  SetUpBoard (Board, *Opts);

  std::printf ("TavriDxe on the emulated board (driver image %s)\n\n", Board.Driver.Image ().ModulePath ().c_str ());
  BootScript  Script;
  Script.Shape = (Opts->Transport == 2) ? TransportShape::Transport2
                 : (Opts->Transport == 3) ? TransportShape::IpmiProtocol : TransportShape::OneByteSizes;
  if (Opts->Transport == 2) {
    std::printf ("IPMI transport: IPMI_TRANSPORT2 (32-bit sizes)\n\n");
  } else if (Opts->Transport == 3) {
    std::printf ("IPMI transport: EDK2's IPMI_PROTOCOL through IpmiProtocolBridgeDxe\n\n");
  }

  auto  Boots = Board.Runner.RunBoots (Script, Opts->Boots);
  bool  AsExpected = !Boots.empty () && (Boots.back ().End == BootEnd::Completed);
  for (const BootRecord &Boot : Boots) {
    std::printf ("Boot %u: %s", Boot.Number, BootEndName (Boot.End).c_str ());
    if (Boot.End == BootEnd::ResetByPortCf9) {
      std::printf (" (value 0x%02X)", Boot.ResetValue);
    }

    AsExpected = AsExpected && (Boot.EntryStatus == EFI_SUCCESS) && (Boot.End != BootEnd::ResetSystem);
    std::printf ("\n  entry point: %s; IPMI commands: %zu; busy waits: %llu x 30 ms; pool/page calls: %llu\n",
      StatusName (Boot.EntryStatus).c_str (),
      Board.Trace.Count ("IpmiCommand", Boot.TraceBegin) - Board.Trace.Count ("IpmiCommand", Boot.TraceEnd),
      static_cast<unsigned long long>(Board.Trace.Count ("ReadMsr", Boot.TraceBegin) - Board.Trace.Count ("ReadMsr", Boot.TraceEnd)),
      static_cast<unsigned long long>(Board.Tables.AllocationCalls ()));
    TavriRun::PrintBootStory (Board.Trace.Format (Boot.TraceBegin, Boot.TraceEnd), Boot.End == BootEnd::ResetByPortCf9, Boot.ResetValue);
    if (!Opts->Quiet) {
      std::printf ("  The board's trace of this boot:\n");
      std::printf ("%s", Board.Trace.Format (Boot.TraceBegin, Boot.TraceEnd).c_str ());
    }

    std::printf ("\n");
  }

  std::printf ("After %zu boot%s:\n", Boots.size (), (Boots.size () == 1) ? "" : "s");
  std::vector<size_t>  Preset = { PM_PRESET_SELECTOR_OFFSET };
  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    Preset.push_back (Entry.Offset);
  }

  ReportVariable ("SocketPowerManagementConfig", Board.Variables.Find (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, gSocketPowerManagementConfigGuid),
    Preset, "selector, then the nine preset bytes");
  ReportVariable ("SocketIioConfig", Board.Variables.Find (SOCKET_IIO_CONFIG_NAME, gSocketIioConfigGuid),
    { 9150, 9151, 9152, 9153, 9154, 9155, 9156, 9157 }, "bytes 9150..9157 from the HOB");
  std::printf ("  extended CMOS byte 0x81: 0x%02X\n", Board.Chip.ExtendedCmos (0x81));

  auto        *Fru   = static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
  EFI_STATUS  Status = EFI_NOT_FOUND;
  if (Fru == nullptr) {
    std::printf ("  FRU access protocol: not installed\n");
  } else {
    UINT8  Data[256];   // as much as the driver's own probe reads
    UINTN  Size = std::min (sizeof (Data), Board.Bmc.Fru (0).size ());
    Status = Fru->ReadFruData (0, 0, &Size, Data);
    std::printf ("  FRU access protocol: installed; ReadFruData(device 0, offset 0) -> %s, %llu bytes:\n", StatusName (Status).c_str (), static_cast<unsigned long long>(Size));
    TavriRun::PrintFruDevice (Data, Size);
  }

  //
  // One closing line per check the exit status stands for.
  //
  bool  EntriesOk = !Boots.empty ();
  bool  ResetsOk  = true;
  for (const BootRecord &Boot : Boots) {
    EntriesOk = EntriesOk && (Boot.EntryStatus == EFI_SUCCESS);
    ResetsOk  = ResetsOk && (Boot.End != BootEnd::ResetSystem);
  }

  bool  Completed = !Boots.empty () && (Boots.back ().End == BootEnd::Completed);
  std::printf ("\nChecks:\n");
  std::printf ("  %-6s every entry point returned EFI_SUCCESS\n", EntriesOk ? "ok" : "FAILED");
  std::printf ("  %-6s every reset came through port 0xCF9, none through ResetSystem\n", ResetsOk ? "ok" : "FAILED");
  std::printf ("  %-6s a boot went on to the OS loader within the %u boots allowed\n", Completed ? "ok" : "FAILED", Opts->Boots);
  std::printf ("  %-6s the FRU access protocol reads FRU device 0 (%s)\n", (Status == EFI_SUCCESS) ? "ok" : "FAILED", StatusName (Status).c_str ());
  if (!AsExpected) {
    std::printf ("A boot ended unexpectedly: no boot completed within %u, an entry point failed, or ResetSystem was called.\n", Opts->Boots);
  }

  return (AsExpected && (Status == EFI_SUCCESS)) ? 0 : 1;
}
