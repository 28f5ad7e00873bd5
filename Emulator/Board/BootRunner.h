/** @file
  Runs the driver on the emulated board, boot by boot: each boot loads a
  fresh image of the driver, calls its entry point and plays what the
  firmware does around it. A reset ends the boot where it happens.

  The runner is handed what a boot touches: the trace, the firmware tables,
  the protocol database and the events, the driver image, the IPMI transport
  it installs, and what the board does to start a new boot.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_BOOT_RUNNER_H_
#define EMU_BOOT_RUNNER_H_

#include <Uefi.h>

#include <csetjmp>
#include <functional>
#include <string>
#include <vector>

namespace Emu {

class TraceLog;
class FirmwareTables;
class ProtocolDatabase;
class EventEngine;
class TavriDxeImage;
class BmcTransport;
class BmcTransport2;
class BmcIpmiProtocol;
class IpmiBridgeImage;

///
/// Why a boot ended.
///
enum class BootEnd {
  Completed,           ///< the boot script ran to its end (the OS would start)
  ResetByPortCf9,      ///< the reset control register was written with a reset request
  ResetSystem,         ///< ResetSystem was called
};

std::string BootEndName (BootEnd End);

///
/// Which of the board's IPMI transports a boot installs under the transport
/// GUID: one-byte sizes (BmcTransport), IPMI_TRANSPORT2 (BmcTransport2), or
/// IPMI_PROTOCOL (BmcIpmiProtocol, EDK2's interface) under its own GUID with
/// IpmiProtocolBridgeDxe started over it, which installs the one-byte shape.
///
enum class TransportShape {
  OneByteSizes,
  Transport2,
  IpmiProtocol,
};

std::string TransportShapeName (TransportShape Shape);

///
/// What the firmware does around the driver in one boot.
///
struct BootScript {
  bool                                InstallIpmiTransport = true;    ///< after the driver's entry point
  VOID                                *IpmiTransport = nullptr;       ///< the interface installed; nullptr: the board's transport of Shape
  TransportShape                      Shape = TransportShape::OneByteSizes;
  ///
  /// TransportShape::IpmiProtocol: IPMI_PROTOCOL is installed before the
  /// driver loads (EDK2's IPMI driver starts early), else after its entry
  /// point; the bridge starts after the driver's entry point either way, as
  /// its dependency and its place after TavriDxe make the DXE core start it.
  ///
  bool                                IpmiProtocolBeforeEntry = true;
  bool                                InstallTriggerProtocol = false;  ///< after the IPMI transport
  bool                                SignalReadyToBoot = true;       ///< last
  std::function<void ()>              BeforeEntry;                    ///< platform work before the driver loads
  std::function<void ()>              AfterHooks;                     ///< platform work before ready-to-boot
};

struct BootRecord {
  unsigned     Number = 0;        ///< 1 for the first boot
  BootEnd      End = BootEnd::Completed;
  UINT8        ResetValue = 0;    ///< the value written to 0xCF9
  EFI_STATUS   EntryStatus = EFI_SUCCESS;
  size_t       TraceBegin = 0;    ///< this boot's entries in Trace ()
  size_t       TraceEnd = 0;
};

class BootRunner {
public:
  ///
  /// What a boot touches.
  ///
  struct Parts {
    TraceLog                &Trace;
    FirmwareTables          &Tables;
    ProtocolDatabase        &Protocols;
    EventEngine             &Events;
    TavriDxeImage           &Driver;
    BmcTransport            &Transport;       ///< installed for TransportShape::OneByteSizes
    BmcTransport2           &Transport2;      ///< installed for TransportShape::Transport2
    BmcIpmiProtocol         &IpmiProtocol;    ///< installed for TransportShape::IpmiProtocol
    IpmiBridgeImage         &Bridge;          ///< started over it
    std::function<void ()>  StartBoot;        ///< what the board does to start a new boot
  };

  explicit BootRunner (Parts Given) : mParts (std::move (Given)) {}

  ///
  /// Run one boot: start the board afresh, load a fresh image of the driver,
  /// call its entry point, and play the script.
  ///
  BootRecord               RunBoot (const BootScript &Script = BootScript ());

  ///
  /// Boot again and again until a boot completes or MaxBoots have run. Only
  /// non-volatile variables and the CMOS survive from one boot to the next.
  ///
  std::vector<BootRecord>  RunBoots (const BootScript &Script = BootScript (), unsigned MaxBoots = 4);

  ///
  /// Run Body as part of the current boot, with resets caught: the lowest
  /// level under RunBoot, for tests that drive the boot step by step.
  ///
  BootEnd                  RunUntilReset (const std::function<void ()> &Body);

  ///
  /// Signal the ready-to-boot event group, as the boot manager does.
  ///
  void                     SignalReadyToBoot ();

  ///
  /// The platform resets: the boot being run ends here.
  ///
  [[noreturn]] void        EndBootByReset (BootEnd Why, UINT8 Value);

private:
  void           InstallIpmiProtocol (const BootScript &Script);
  void           InstallTransport (const BootScript &Script);

  Parts          mParts;
  std::jmp_buf   *mResetJump = nullptr;
  BootEnd        mResetWhy = BootEnd::Completed;
  UINT8          mResetValue = 0;
  unsigned       mBootNumber = 0;
};

}

#endif
