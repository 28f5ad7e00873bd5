/** @file
  The one seam between a driver image's host platform layer and the board
  it runs on: the processor and chipset operations. The host executable
  exports these; a driver image loaded into it resolves them at load time.
  They reach the processor and chipset attached with Emu::HostCpu
  (Emulator/Board/HostCpu.h), and nothing else.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_CPU_H_
#define EMU_CPU_H_

#include <Uefi/UefiBaseType.h>

extern "C" {

VOID   EmuIoWrite8 (UINT16 Port, UINT8 Value);
UINT8  EmuIoRead8 (UINT16 Port);
UINT64 EmuReadMsr64 (UINT32 Index);
UINT64 EmuReadTsc (VOID);
VOID   EmuCpuPause (VOID);

}

#endif
