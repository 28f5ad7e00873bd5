/** @file
  Runs the driver on the emulated board, boot by boot: each boot loads a
  fresh image of the driver, calls its entry point and plays what the
  firmware does around it. A reset ends the boot where it happens.
**/

#ifndef EMU_BOOT_RUNNER_H_
#define EMU_BOOT_RUNNER_H_

#include <Uefi.h>

#include <csetjmp>
#include <functional>
#include <string>
#include <vector>

namespace Emu {

class EmulatedBoard;

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
/// What the firmware does around the driver in one boot.
///
struct BootScript {
  bool                                InstallIpmiTransport = true;    ///< after the driver's entry point
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
  explicit BootRunner (EmulatedBoard &Board) : mBoard (Board) {}

  BootRecord               RunBoot (const BootScript &Script);
  std::vector<BootRecord>  RunBoots (const BootScript &Script, unsigned MaxBoots);
  BootEnd                  RunUntilReset (const std::function<void ()> &Body);

  ///
  /// The platform resets: the boot being run ends here.
  ///
  [[noreturn]] void        EndBootByReset (BootEnd Why, UINT8 Value);

private:
  EmulatedBoard  &mBoard;
  std::jmp_buf   *mResetJump = nullptr;
  BootEnd        mResetWhy = BootEnd::Completed;
  UINT8          mResetValue = 0;
  unsigned       mBootNumber = 0;
};

}

#endif
