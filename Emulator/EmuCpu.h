/** @file
  The emulated board's processor and chipset, as the host platform layer of a
  driver image reaches them. The host executable exports these; a driver image
  loaded into it resolves them at load time.
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
