/** @file
  The processor and chipset operations of a driver image's host platform
  layer, handed to the attached processor and chipset.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "HostCpu.h"
#include "Chipset.h"
#include "Processor.h"
#include "Core/FirmwareAssert.h"
#include "HostPlatform/EmuCpu.h"

namespace Emu {

namespace {

Processor  *gCpu  = nullptr;
Chipset    *gChip = nullptr;

Processor &
AttachedCpu ()
{
  if (gCpu == nullptr) {
    FirmwareAssert ("the processor ran driver code with no board live");
  }

  return *gCpu;
}

Chipset &
AttachedChipset ()
{
  if (gChip == nullptr) {
    FirmwareAssert ("the processor ran driver code with no board live");
  }

  return *gChip;
}

}  // namespace

HostCpu::HostCpu (Processor &Cpu, Chipset &Chip)
{
  if ((gCpu != nullptr) || (gChip != nullptr)) {
    FirmwareAssert ("a second emulated board while one is live: a driver image could not tell their processors apart");
  }

  gCpu  = &Cpu;
  gChip = &Chip;
}

HostCpu::~HostCpu ()
{
  gCpu  = nullptr;
  gChip = nullptr;
}

}  // namespace Emu

extern "C" {

VOID
EmuIoWrite8 (UINT16 Port, UINT8 Value)
{
  Emu::AttachedChipset ().PortWrite (Port, Value);
}

UINT8
EmuIoRead8 (UINT16 Port)
{
  return Emu::AttachedChipset ().PortRead (Port);
}

UINT64
EmuReadMsr64 (UINT32 Index)
{
  return Emu::AttachedCpu ().ReadMsr (Index);
}

UINT64
EmuReadTsc (VOID)
{
  return Emu::AttachedCpu ().ReadTsc ();
}

VOID
EmuCpuPause (VOID)
{
  Emu::AttachedCpu ().Pause ();
}

}
