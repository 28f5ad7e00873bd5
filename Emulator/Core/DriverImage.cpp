/** @file
  Loads a host build of a driver with dlopen. dlclose drops the module, so
  the next load maps it anew with its globals zero, as a new image load does.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "DriverImage.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace Emu {

DriverImage::DriverImage (std::string ModulePath, EFI_HANDLE Handle)
  : mModulePath (std::move (ModulePath)),
    mHandle (Handle)
{
}

DriverImage::~DriverImage ()
{
  Unload ();
}

void
DriverImage::Load ()
{
  Unload ();
  mModule = dlopen (mModulePath.c_str (), RTLD_NOW | RTLD_LOCAL);
  if (mModule == nullptr) {
    std::fprintf (stderr, "cannot load the driver image %s: %s\n", mModulePath.c_str (), dlerror ());
    std::abort ();
  }
}

void
DriverImage::Unload ()
{
  if (mModule != nullptr) {
    dlclose (mModule);
    mModule = nullptr;
  }
}

VOID *
DriverImage::Symbol (const char *Name) const
{
  VOID  *Address = (mModule != nullptr) ? dlsym (mModule, Name) : nullptr;

  if (Address == nullptr) {
    std::fprintf (stderr, "the driver image has no symbol %s\n", Name);
    std::abort ();
  }

  return Address;
}

}
