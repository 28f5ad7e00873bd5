/** @file
  dlopen and dlsym for a second driver's host module.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "HostModule.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace Emu {

void
HostModule::Load ()
{
  Unload ();
  mHandle = dlopen (mPath.c_str (), RTLD_NOW | RTLD_LOCAL);
  if (mHandle == nullptr) {
    std::fprintf (stderr, "cannot load the host module %s: %s\n", mPath.c_str (), dlerror ());
    std::abort ();
  }
}

void
HostModule::Unload ()
{
  if (mHandle != nullptr) {
    dlclose (mHandle);
    mHandle = nullptr;
  }
}

VOID *
HostModule::RawSymbol (const char *Name) const
{
  VOID  *Address = (mHandle != nullptr) ? dlsym (mHandle, Name) : nullptr;

  if (Address == nullptr) {
    std::fprintf (stderr, "the host module %s has no symbol %s\n", mPath.c_str (), Name);
    std::abort ();
  }

  return Address;
}

}
