/** @file
  What the emulated firmware does where a DEBUG build of EDK2 firmware would
  ASSERT: it names the broken rule and stops the processor. A driver that
  breaks one of these rules is caught on the spot, not by a later symptom.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_FIRMWARE_ASSERT_H_
#define EMU_FIRMWARE_ASSERT_H_

#include <cstdio>
#include <cstdlib>
#include <string>

namespace Emu {

[[noreturn]] inline void
FirmwareAssert (const std::string &What)
{
  std::fprintf (stderr, "emulated firmware ASSERT: %s\n", What.c_str ());
  std::fflush (stderr);
  std::abort ();
}

}

#endif
