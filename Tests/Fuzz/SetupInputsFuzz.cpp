/** @file
  Fuzzes the setup fix-ups' inputs: the HOB list walked by the IIO import and
  the contents and sizes of both setup variables.

  Input: byte 0 picks the SocketIioConfig size (22,247, 22,246, 22,248 or 100)
  and its switch byte; byte 1 picks the SocketPowerManagementConfig size (524,
  523, 1 or 0 for missing); bytes 2..9 seed the preset bytes and selector; the
  rest is the HOB list, placed at the start of a fixed buffer whose bytes past
  the input are poisoned, so a read outside the list is caught. Lists whose
  HobLength chain leaves the buffer before an end are skipped: nothing in a
  HOB list tells its size, so no walker can tell them from good ones.

  Checked: both hooks return (libFuzzer's timeout catches a hang), nothing is
  read outside the list, and a variable is written only with its exact size.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <Board/EmulatedBoard.h>

#include "FuzzRequire.h"

#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>

#include <sanitizer/asan_interface.h>

#include <cstring>
#include <Library/TavriBaseLib.h>

using namespace Emu;

namespace {

constexpr size_t  HOB_BUFFER = 16384;

EmulatedBoard  *gBoard;
UINT8          *gHobs;
EFI_STATUS     (EFIAPI *gImport)(VOID);
EFI_STATUS     (EFIAPI *gPreset)(VOID);

//
// Whether following HobLength from the start stays inside the list until an
// end-of-list HOB, or a length the walk refuses. Earlier boot phases hand over
// lists of this form; a HobLength that points past the list cannot be told
// from a good one without the list's size, so such inputs are skipped.
//
bool
ChainStaysInside (const UINT8 *List, size_t Size)
{
  for (size_t At = 0; ; ) {
    if (At + sizeof (EFI_HOB_GENERIC_HEADER) > Size) {
      return false;
    }

    UINT16  Type   = static_cast<UINT16>(List[At] | (List[At + 1] << 8));
    UINT16  Length = static_cast<UINT16>(List[At + 2] | (List[At + 3] << 8));
    if ((Type == EFI_HOB_TYPE_END_OF_HOB_LIST) || (Length < sizeof (EFI_HOB_GENERIC_HEADER))) {
      return true;
    }

    if (At + Length > Size) {
      return false;
    }

    At += Length;
  }
}

}  // namespace

extern "C" int
LLVMFuzzerInitialize (int *, char ***)
{
  gBoard = new EmulatedBoard ();
  gBoard->SetHobList (Bytes (HOB_BUFFER, 0));
  BootScript  Script;
  Script.InstallIpmiTransport = false;
  Script.SignalReadyToBoot    = false;
  gBoard->Runner.RunBoot (Script);
  gBoard->Trace.Clear ();

  //
  // The driver caches the list's address; the buffer stays where it is and
  // every input is copied into it.
  //
  gHobs   = const_cast<UINT8 *>(gBoard->Tables.HobList ());
  gImport = gBoard->Driver.Functions ().ImportIioConfigFromHob;
  gPreset = gBoard->Driver.Functions ().EnforcePowerManagementPreset;
  return 0;
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *Data, size_t Size)
{
  if ((Size < 10) || (Size - 10 > HOB_BUFFER) || !ChainStaysInside (Data + 10, Size - 10)) {
    return 0;
  }

  static const size_t  IioSizes[] = { SOCKET_IIO_CONFIG_SIZE, SOCKET_IIO_CONFIG_SIZE - 1, SOCKET_IIO_CONFIG_SIZE + 1, 100 };
  static const size_t  PmSizes[]  = { SOCKET_POWER_MANAGEMENT_CONFIG_SIZE, SOCKET_POWER_MANAGEMENT_CONFIG_SIZE - 1, 1, 0 };
  Bytes  Iio (IioSizes[Data[0] & 3], 0x3C);
  if (Iio.size () > IIO_HOB_IMPORT_SWITCH_OFFSET) {
    Iio[IIO_HOB_IMPORT_SWITCH_OFFSET] = (Data[0] & 4) ? 1 : Data[0];
  }

  Bytes  Pm (PmSizes[Data[1] & 3], 0);
  for (size_t Index = 0; Index < PM_PRESET_ENTRY_COUNT - 1 && Index < Pm.size (); Index++) {
    Pm[PowerManagementPresetTable[Index].Offset % Pm.size ()] = Data[2 + Index] & 3;
  }

  if (Pm.size () > PM_PRESET_SELECTOR_OFFSET) {
    Pm[PM_PRESET_SELECTOR_OFFSET] = Data[9] & 3;
  }

  gBoard->Variables.Put (SOCKET_IIO_CONFIG_NAME, gSocketIioConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Iio);
  if (Pm.empty ()) {
    gBoard->Variables.Delete (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, gSocketPowerManagementConfigGuid);
  } else {
    gBoard->Variables.Put (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, gSocketPowerManagementConfigGuid, TAVRI_VARIABLE_NV_BS_RT, Pm);
  }

  ASAN_UNPOISON_MEMORY_REGION (gHobs, HOB_BUFFER);
  std::memcpy (gHobs, Data + 10, Size - 10);
  ASAN_POISON_MEMORY_REGION (gHobs + (Size - 10), HOB_BUFFER - (Size - 10));

  (VOID)gImport ();
  (VOID)gBoard->Runner.RunUntilReset ([]() { (VOID)gPreset (); });
  ASAN_UNPOISON_MEMORY_REGION (gHobs, HOB_BUFFER);

  for (const TraceEntry &E : gBoard->Trace.Select ("SetVariable")) {
    if (E.Detail.rfind ("SocketIioConfig", 0) == 0) {
      Require (E.A == SOCKET_IIO_CONFIG_SIZE, "SocketIioConfig written with its exact size");
      Require (Iio.size () == SOCKET_IIO_CONFIG_SIZE, "only a variable of the exact size is written back");
    } else {
      Require (E.A == SOCKET_POWER_MANAGEMENT_CONFIG_SIZE, "SocketPowerManagementConfig written with its exact size");
      Require (Pm.size () == SOCKET_POWER_MANAGEMENT_CONFIG_SIZE, "only a variable of the exact size is written back");
    }
  }

  //
  // Leave nothing of this input behind, so memory stays flat.
  //
  gBoard->Trace.Clear ();
  return 0;
}
