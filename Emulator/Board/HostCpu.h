/** @file
  Attaches a board's processor and chipset to the seam a driver image's host
  platform layer calls through (HostPlatform/EmuCpu.h): port I/O, MSRs, the
  time-stamp counter and PAUSE.

  A driver image has no way to say which board it means, so one pair is
  attached at a time, for as long as the HostCpu that attached it lives.
  Attaching a second pair while one is attached stops the program.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_HOST_CPU_H_
#define EMU_HOST_CPU_H_

namespace Emu {

class Processor;
class Chipset;

class HostCpu {
public:
  HostCpu (Processor &Cpu, Chipset &Chip);
  ~HostCpu ();
  HostCpu (const HostCpu &) = delete;
  HostCpu &operator= (const HostCpu &) = delete;
};

}

#endif
