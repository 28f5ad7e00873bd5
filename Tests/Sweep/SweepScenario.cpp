/** @file
  The sweep's board, its rules and its case guard.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "SweepScenario.h"

#include <Board/FirstBootSetup.h>

#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Protocol/FruAccess.h>
#include <Protocol/IpmiTransport.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

using namespace Emu;

extern "C" void __sanitizer_set_death_callback (void (*Callback)(void)) __attribute__ ((weak));

namespace Sweep {

namespace {

char  gCase[256];

Bytes
FruDevice ()
{
  Bytes  Device (256);

  for (size_t Index = 0; Index < Device.size (); Index++) {
    Device[Index] = static_cast<UINT8>(Index ^ 0x5A);
  }

  return Device;
}

void
SayCase ()
{
  static const char  Prefix[] = "\nsweep case: ";

  (void)!write (2, Prefix, sizeof (Prefix) - 1);
  (void)!write (2, gCase, std::strlen (gCase));
  (void)!write (2, "\n", 1);
}

void
OnFatalSignal (int Signal)
{
  SayCase ();
  if (Signal == SIGALRM) {
    static const char  Hang[] = "the case hung\n";
    (void)!write (2, Hang, sizeof (Hang) - 1);
    _exit (3);
  }

  std::signal (Signal, SIG_DFL);
  std::raise (Signal);
}

//
// The variable a SetVariable or GetVariable trace entry names.
//
std::string
VariableOf (const TraceEntry &E)
{
  return E.Detail.substr (0, E.Detail.find (' '));
}

size_t
OwnSize (const std::string &Name)
{
  return (Name == "SocketPowerManagementConfig") ? SOCKET_POWER_MANAGEMENT_CONFIG_SIZE :
         (Name == "SocketIioConfig") ? SOCKET_IIO_CONFIG_SIZE : 0;
}

}  // namespace

bool
Outcome::operator== (const Outcome &Other) const
{
  return (LastEnd == Other.LastEnd) && (PowerManagement == Other.PowerManagement) && (IioConfig == Other.IioConfig) &&
         (CmosMarker == Other.CmosMarker) && (FruInstalled == Other.FruInstalled) && (FruReadsDevice == Other.FruReadsDevice);
}

std::string
Describe (const Outcome &State)
{
  return BootEndName (State.LastEnd) + ", preset bytes " + std::to_string (State.PowerManagement.size ()) +
         ", IIO bytes " + std::to_string (State.IioConfig.size ()) + ", CMOS 0x81 = " + Hex (State.CmosMarker, 2) +
         ", FRU protocol " + (State.FruInstalled ? "installed" : "missing") + (State.FruReadsDevice ? " and reading" : "");
}

void
Prepare (EmulatedBoard &Board)
{
  SeedFirstBoot (Board.Cpu, Board.Variables, Board.Tables, 0x3C, 7);
  Board.Bmc.SetFruDevice (0, FruDevice ());
}

BootScript
Script (TransportShape Shape)
{
  BootScript  Boot;

  Boot.InstallTriggerProtocol = true;
  Boot.Shape                  = Shape;
  return Boot;
}

std::vector<BootRecord>
RunToCompletion (EmulatedBoard &Board, TransportShape Shape)
{
  return Board.Runner.RunBoots (Script (Shape), 4);
}

std::vector<std::string>
CheckRules (const EmulatedBoard &Board, const std::vector<BootRecord> &Boots)
{
  std::vector<std::string>  Broken;
  const auto                &Trace    = Board.Trace.Entries ();
  const std::string         FruGuid   = GuidName (gFruAccessProtocolGuid);
  const std::string         IpmiGuid  = GuidName (gIpmiTransportProtocolGuid);

  for (const BootRecord &Boot : Boots) {
    std::string  Where = "boot " + std::to_string (Boot.Number) + ": ";
    if (Boot.EntryStatus != EFI_SUCCESS) {
      Broken.push_back (Where + "entry point returned " + StatusName (Boot.EntryStatus));
    }

    //
    // Walk the boot, keeping what the notify function running now has done.
    //
    const TraceEntry  *LastGet       = nullptr;
    bool              PresetStored   = false;
    bool              IpmiLocated    = false;
    for (size_t Index = Boot.TraceBegin; Index < Boot.TraceEnd; Index++) {
      const TraceEntry  &E = Trace[Index];
      if (E.Op == "Notify") {
        LastGet      = nullptr;
        PresetStored = false;
        IpmiLocated  = false;
      } else if (E.Op == "GetVariable") {
        LastGet = &E;
      } else if (E.Op == "SetVariable") {
        std::string  Name = VariableOf (E);
        if ((LastGet == nullptr) || (VariableOf (*LastGet) != Name) || EFI_ERROR (LastGet->Status)) {
          Broken.push_back (Where + "SetVariable of " + Name + " without a successful GetVariable of it in the same hook");
        } else if ((E.A != LastGet->B) || (E.A != OwnSize (Name))) {
          Broken.push_back (Where + "SetVariable of " + Name + " with " + std::to_string (E.A) + " bytes, read " + std::to_string (LastGet->B));
        }

        PresetStored = PresetStored || ((Name == "SocketPowerManagementConfig") && !EFI_ERROR (E.Status));
      } else if (E.Op == "Reset") {
        if (!PresetStored) {
          Broken.push_back (Where + "reset (" + E.Detail + ") without a successful store of the preset");
        }
      } else if ((E.Op == "LocateProtocol") && (E.Detail.rfind (IpmiGuid, 0) == 0)) {
        IpmiLocated = IpmiLocated || !EFI_ERROR (E.Status);
      } else if ((E.Op == "InstallProtocolInterface") && (E.Detail.rfind (FruGuid, 0) == 0) && !EFI_ERROR (E.Status)) {
        if (!IpmiLocated) {
          Broken.push_back (Where + "FRU access protocol installed without a located IPMI transport");
        }
      }
    }
  }

  return Broken;
}

Outcome
Observe (EmulatedBoard &Board, const std::vector<BootRecord> &Boots)
{
  Outcome  State;

  State.LastEnd         = Boots.empty () ? BootEnd::Completed : Boots.back ().End;
  State.PowerManagement = Board.Variables.Find (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, gSocketPowerManagementConfigGuid)->Data;
  State.IioConfig       = Board.Variables.Find (SOCKET_IIO_CONFIG_NAME, gSocketIioConfigGuid)->Data;
  State.CmosMarker      = Board.Chip.ExtendedCmos (0x81);

  auto  *Fru = static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
  State.FruInstalled = (Fru != nullptr);
  if (Fru != nullptr) {
    UINT8   Buffer[256];
    UINTN   Size   = sizeof (Buffer);
    size_t  Before = Board.Bmc.Requests ().size ();
    EFI_STATUS  Status = Fru->ReadFruData (0, 0, &Size, Buffer);
    State.FruReadsDevice = (Status == EFI_SUCCESS) && (Size == sizeof (Buffer)) && (Board.Bmc.Requests ().size () > Before) &&
                           (Bytes (Buffer, Buffer + Size) == FruDevice ());
  }

  return State;
}

void
BeginCase (const std::string &Name, unsigned Seconds)
{
  static bool  Installed = false;

  std::snprintf (gCase, sizeof (gCase), "%s", Name.c_str ());
  if (!Installed) {
    std::signal (SIGABRT, OnFatalSignal);
    std::signal (SIGSEGV, OnFatalSignal);
    std::signal (SIGALRM, OnFatalSignal);
    if (__sanitizer_set_death_callback != nullptr) {
      __sanitizer_set_death_callback (SayCase);
    }

    Installed = true;
  }

  alarm (Seconds);
}

void
EndCase ()
{
  alarm (0);
  gCase[0] = 0;
}

}
