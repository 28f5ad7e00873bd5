/** @file
  Loads a host build of a driver as a fresh image, the way the DXE
  dispatcher loads a driver: every load starts with the module globals zero.
  The caller names the module.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef DRIVER_IMAGE_H_
#define DRIVER_IMAGE_H_

#include <Uefi.h>

#include <string>

namespace Emu {

class DriverImage {
public:
  ///
  /// ModulePath: the host module to load; Handle: the image handle the
  /// driver's entry point is given.
  ///
  DriverImage (std::string ModulePath, EFI_HANDLE Handle);
  ~DriverImage ();
  DriverImage (const DriverImage &) = delete;
  DriverImage &operator= (const DriverImage &) = delete;

  ///
  /// Load the module afresh; a second Load unloads the first image.
  ///
  void                Load ();
  void                Unload ();
  bool                Loaded () const { return mModule != nullptr; }
  const std::string  &ModulePath () const { return mModulePath; }
  EFI_HANDLE          Handle () const { return mHandle; }

  ///
  /// The address of one of the loaded module's exported symbols; a missing
  /// one stops the program with its name.
  ///
  VOID               *Symbol (const char *Name) const;

  template <typename FN>
  FN
  Function (const char *Name) const
  {
    return reinterpret_cast<FN>(Symbol (Name));
  }

private:
  std::string  mModulePath;
  EFI_HANDLE   mHandle;
  VOID        *mModule = nullptr;
};

}

#endif
