/** @file
  Runs the driver on the emulated board, boot by boot.
**/

#include "BootRunner.h"
#include "DriverImage.h"
#include "EmulatedBmc.h"
#include "EmulatedBoard.h"
#include "FirmwareAssert.h"

#include <Guid/BootHookTrigger.h>
#include <Protocol/IpmiTransport.h>

namespace Emu {

std::string
BootEndName (BootEnd End)
{
  switch (End) {
    case BootEnd::Completed:      return "booted on to the OS loader";
    case BootEnd::ResetByPortCf9: return "reset through port 0xCF9";
    case BootEnd::ResetSystem:    return "reset through ResetSystem";
  }

  return "?";
}

void
BootRunner::EndBootByReset (BootEnd Why, UINT8 Value)
{
  mResetWhy   = Why;
  mResetValue = Value;
  mBoard.Record ("Reset", BootEndName (Why), Value);
  if (mResetJump == nullptr) {
    FirmwareAssert ("reset outside a boot: nothing runs this processor");
  }

  std::longjmp (*mResetJump, 1);
}

BootEnd
BootRunner::RunUntilReset (const std::function<void ()> &Body)
{
  std::jmp_buf  Jump;
  std::jmp_buf  *Outer = mResetJump;

  mResetJump = &Jump;
  if (setjmp (Jump) == 0) {
    Body ();
    mResetJump = Outer;
    return BootEnd::Completed;
  }

  mResetJump = Outer;
  return mResetWhy;
}

BootRecord
BootRunner::RunBoot (const BootScript &Script)
{
  BootRecord  Boot;
  EFI_STATUS  EntryStatus = EFI_SUCCESS;

  mBoard.ResetPlatformState ();
  Boot.Number     = ++mBootNumber;
  Boot.TraceBegin = mBoard.Trace ().size ();
  mBoard.Record ("Boot", "boot " + std::to_string (Boot.Number), Boot.Number);

  Boot.End = RunUntilReset (
               [&]() {
                 if (Script.BeforeEntry) {
                   Script.BeforeEntry ();
                 }

                 mBoard.Image ().Load ();
                 EntryStatus = mBoard.Image ().EntryPoint ()(mBoard.ImageHandle (), mBoard.SystemTable ());
                 mBoard.Record ("EntryPointReturned", StatusName (EntryStatus), 0, 0, EntryStatus);
                 if (Script.InstallIpmiTransport) {
                   mBoard.InstallProtocol (gIpmiTransportProtocolGuid, mBoard.Bmc ().Transport ());
                 }

                 if (Script.InstallTriggerProtocol) {
                   static UINT8  TriggerInterface;
                   mBoard.InstallProtocol (gBootHookTriggerProtocolGuid, &TriggerInterface);
                 }

                 if (Script.AfterHooks) {
                   Script.AfterHooks ();
                 }

                 if (Script.SignalReadyToBoot) {
                   mBoard.SignalReadyToBoot ();
                 }
               }
               );
  Boot.ResetValue  = (Boot.End == BootEnd::ResetByPortCf9) ? mResetValue : 0;
  Boot.EntryStatus = EntryStatus;
  mBoard.Record ("BootEnded", BootEndName (Boot.End), static_cast<UINT64>(Boot.End));
  Boot.TraceEnd = mBoard.Trace ().size ();
  return Boot;
}

std::vector<BootRecord>
BootRunner::RunBoots (const BootScript &Script, unsigned MaxBoots)
{
  std::vector<BootRecord>  Boots;

  for (unsigned Index = 0; Index < MaxBoots; Index++) {
    Boots.push_back (RunBoot (Script));
    if (Boots.back ().End == BootEnd::Completed) {
      break;
    }
  }

  return Boots;
}

}
