/** @file
  The emulated board: its pieces put together, the one-live-board rule, and
  the processor and chipset as a driver image's host platform layer reaches
  them.
**/

#include "EmulatedBoard.h"
#include "DriverImage.h"
#include "EmuCpu.h"
#include "EmulatedBmc.h"
#include "FirmwareAssert.h"

#include <Guid/EventGroup.h>
#include <Guid/HobList.h>

#include <cstring>

namespace Emu {

namespace {

EmulatedBoard  *gLiveBoard = nullptr;

EmulatedBoard &
Board ()
{
  if (gLiveBoard == nullptr) {
    FirmwareAssert ("the processor ran driver code with no board live");
  }

  return *gLiveBoard;
}

}  // namespace

EmulatedBoard::EmulatedBoard ()
  : mTables (mTrace),
    mEvents (mTrace, mFaults),
    mProtocols (mTrace, mFaults, mEvents),
    mVariables (mTrace, mFaults, mEvents),
    mCpu (mTrace),
    mRunner (*this),
    mChipset (mTrace, [this](UINT8 Value) { mRunner.EndBootByReset (BootEnd::ResetByPortCf9, Value); }),
    mImageHandle (reinterpret_cast<EFI_HANDLE>(static_cast<uintptr_t>(0x1A6E0000)))
{
  if (gLiveBoard != nullptr) {
    FirmwareAssert ("a second emulated board while one is live: a driver image could not tell them apart");
  }

  gLiveBoard = this;
  mBmc   = std::make_unique<EmulatedBmc>(*this);
  mImage = std::make_unique<DriverImage>();
  ResetPlatformState ();
}

EmulatedBoard::~EmulatedBoard ()
{
  mImage.reset ();
  if (gLiveBoard == this) {
    gLiveBoard = nullptr;
  }
}

EmulatedBoard *
EmulatedBoard::Active ()
{
  return gLiveBoard;
}

void
EmulatedBoard::SetHobListBytes (const Bytes &Raw)
{
  mHobList.assign ((Raw.size () + 7) / 8, 0);
  if (!Raw.empty ()) {
    std::memcpy (mHobList.data (), Raw.data (), Raw.size ());
  }

  mHobListSize = Raw.size ();
  ResetPlatformState ();
}

void
EmulatedBoard::ResetPlatformState ()
{
  mEvents.Reset ();
  mProtocols.Reset ();
  mFaults.ForgetNamed ();
  mChipset.Reset ();
  mVariables.DropVolatile ();
  mTables.ClearConfigurationTables ();
  if (!mHobList.empty ()) {
    mTables.AddConfigurationTable (gEfiHobListGuid, mHobList.data ());
  }
}

void
EmulatedBoard::SignalReadyToBoot ()
{
  Record ("SignalReadyToBoot", "group " + GuidName (gEfiEventReadyToBootGuid));
  mEvents.SignalGroup (gEfiEventReadyToBootGuid);
}

}  // namespace Emu

//
// The processor and chipset, as the host platform layer of a driver image
// reaches them.
//
extern "C" {

VOID
EmuIoWrite8 (UINT16 Port, UINT8 Value)
{
  Emu::Board ().PortWrite (Port, Value);
}

UINT8
EmuIoRead8 (UINT16 Port)
{
  return Emu::Board ().PortRead (Port);
}

UINT64
EmuReadMsr64 (UINT32 Index)
{
  return Emu::Board ().ReadMsr (Index);
}

UINT64
EmuReadTsc (VOID)
{
  return Emu::Board ().ReadTsc ();
}

VOID
EmuCpuPause (VOID)
{
  Emu::Board ().Pause ();
}

}
