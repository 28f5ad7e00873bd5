/** @file
  Runs the driver on the emulated board, boot by boot.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "BootRunner.h"
#include "BmcTransport.h"
#include "BmcTransport2.h"
#include "BmcIpmiProtocol.h"
#include "IpmiBridgeImage.h"
#include "TavriDxeImage.h"
#include "Core/EventEngine.h"
#include "Core/FirmwareAssert.h"
#include "Core/FirmwareTables.h"
#include "Core/Names.h"
#include "Core/ProtocolDatabase.h"
#include "Core/TraceLog.h"

#include <Guid/BootHookTrigger.h>
#include <Guid/EventGroup.h>
#include <Protocol/IpmiProtocol.h>
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

std::string
TransportShapeName (TransportShape Shape)
{
  switch (Shape) {
    case TransportShape::OneByteSizes: return "one-byte sizes";
    case TransportShape::Transport2:   return "Transport2";
    case TransportShape::IpmiProtocol: return "IPMI_PROTOCOL through the bridge";
  }

  return "?";
}

void
BootRunner::InstallIpmiProtocol (const BootScript &Script)
{
  VOID  *Interface = (Script.IpmiTransport != nullptr) ? Script.IpmiTransport : static_cast<VOID *>(mParts.IpmiProtocol.Interface ());

  mParts.Protocols.Install (gIpmiProtocolGuid, Interface, nullptr);
}

void
BootRunner::InstallTransport (const BootScript &Script)
{
  if (Script.Shape == TransportShape::IpmiProtocol) {
    if (!Script.IpmiProtocolBeforeEntry) {
      InstallIpmiProtocol (Script);
    }

    EFI_STATUS  Status = mParts.Bridge.Start (mParts.Tables.SystemTable ());
    mParts.Trace.Record ("BridgeEntryPointReturned", StatusName (Status), 0, 0, Status);
    return;
  }

  VOID  *Interface = Script.IpmiTransport;
  if (Interface == nullptr) {
    Interface = (Script.Shape == TransportShape::Transport2) ? static_cast<VOID *>(mParts.Transport2.Interface ())
                                                             : static_cast<VOID *>(mParts.Transport.Interface ());
  }

  mParts.Protocols.Install (gIpmiTransportProtocolGuid, Interface, nullptr);
}

void
BootRunner::SignalReadyToBoot ()
{
  mParts.Trace.Record ("SignalReadyToBoot", "group " + GuidName (gEfiEventReadyToBootGuid));
  mParts.Events.SignalGroup (gEfiEventReadyToBootGuid);
}

void
BootRunner::EndBootByReset (BootEnd Why, UINT8 Value)
{
  mResetWhy   = Why;
  mResetValue = Value;
  mParts.Trace.Record ("Reset", BootEndName (Why), Value);
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

  mParts.StartBoot ();
  Boot.Number     = ++mBootNumber;
  Boot.TraceBegin = mParts.Trace.Size ();
  mParts.Trace.Record ("Boot", "boot " + std::to_string (Boot.Number), Boot.Number);

  Boot.End = RunUntilReset (
               [&]() {
                 if (Script.BeforeEntry) {
                   Script.BeforeEntry ();
                 }

                 if (Script.InstallIpmiTransport && (Script.Shape == TransportShape::IpmiProtocol) && Script.IpmiProtocolBeforeEntry) {
                   InstallIpmiProtocol (Script);
                 }

                 mParts.Driver.Load ();
                 EntryStatus = mParts.Driver.Functions ().EntryPoint (mParts.Driver.Image ().Handle (), mParts.Tables.SystemTable ());
                 mParts.Trace.Record ("EntryPointReturned", StatusName (EntryStatus), 0, 0, EntryStatus);
                 if (Script.InstallIpmiTransport) {
                   InstallTransport (Script);
                 }

                 if (Script.InstallTriggerProtocol) {
                   static UINT8  TriggerInterface;
                   mParts.Protocols.Install (gBootHookTriggerProtocolGuid, &TriggerInterface, nullptr);
                 }

                 if (Script.AfterHooks) {
                   Script.AfterHooks ();
                 }

                 if (Script.SignalReadyToBoot) {
                   SignalReadyToBoot ();
                 }
               }
               );
  Boot.ResetValue  = (Boot.End == BootEnd::ResetByPortCf9) ? mResetValue : 0;
  Boot.EntryStatus = EntryStatus;
  mParts.Trace.Record ("BootEnded", BootEndName (Boot.End), static_cast<UINT64>(Boot.End));
  Boot.TraceEnd = mParts.Trace.Size ();
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
