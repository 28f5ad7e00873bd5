/** @file
  Loads the host build of the driver with dlopen. dlclose drops the module, so
  the next load maps it anew with its globals zero, as a new image load does.
**/

#include "DriverImage.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace Emu {

std::string
DriverImage::ModulePath ()
{
  const char  *FromEnvironment = std::getenv ("TAVRI_DXE_MODULE");

  return (FromEnvironment != nullptr) ? FromEnvironment : TAVRI_DXE_HOST_MODULE;
}

DriverImage::~DriverImage ()
{
  Unload ();
}

void
DriverImage::Load ()
{
  Unload ();
  std::string  Path = ModulePath ();
  mHandle = dlopen (Path.c_str (), RTLD_NOW | RTLD_LOCAL);
  if (mHandle == nullptr) {
    std::fprintf (stderr, "cannot load the driver image %s: %s\n", Path.c_str (), dlerror ());
    std::abort ();
  }
}

void
DriverImage::Unload ()
{
  if (mHandle != nullptr) {
    dlclose (mHandle);
    mHandle = nullptr;
  }
}

VOID *
DriverImage::RawSymbol (const char *Name) const
{
  VOID  *Address = (mHandle != nullptr) ? dlsym (mHandle, Name) : nullptr;

  if (Address == nullptr) {
    std::fprintf (stderr, "the driver image has no symbol %s\n", Name);
    std::abort ();
  }

  return Address;
}

EFI_IMAGE_ENTRY_POINT
DriverImage::EntryPoint () const
{
  return Symbol<EFI_IMAGE_ENTRY_POINT>("TavriDxeEntryPoint");
}

}
