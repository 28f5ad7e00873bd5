/** @file
  The TavriDxe driver as this board loads it, with the driver functions
  tests call directly, typed from the driver's own declarations and resolved
  in one place each time a fresh image is loaded.

  HostPlatform/Exports.map exports exactly these names from the host module.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_TAVRI_DXE_IMAGE_H_
#define EMU_TAVRI_DXE_IMAGE_H_

#include "Core/DriverImage.h"

#include <TavriDxe/TavriDxe.h>
#include <TavriDxe/Fru/TscDelay.h>

#include <string>

namespace Emu {

///
/// The functions of one loaded image.
///
struct TavriDxeFunctions {
  decltype (&::TavriDxeEntryPoint)            EntryPoint = nullptr;
  decltype (&::LookupHobList)                 LookupHobList = nullptr;
  decltype (&::TscDelayMicroseconds)          TscDelayMicroseconds = nullptr;

  //
  // The hooks of the IPMI-ready list.
  //
  decltype (&::EnforcePowerManagementPreset)  EnforcePowerManagementPreset = nullptr;
  decltype (&::InstallFruAccessProtocol)      InstallFruAccessProtocol = nullptr;
  decltype (&::ProbeFruRead)                  ProbeFruRead = nullptr;
  decltype (&::WriteCmosBootMarker)           WriteCmosBootMarker = nullptr;
  decltype (&::ImportIioConfigFromHob)        ImportIioConfigFromHob = nullptr;
};

class TavriDxeImage {
public:
  ///
  /// The host module this build makes, or TAVRI_DXE_MODULE from the
  /// environment.
  ///
  static std::string  BuiltModulePath ();

  explicit TavriDxeImage (const std::string &ModulePath = BuiltModulePath ());

  ///
  /// Load a fresh image and resolve its functions.
  ///
  void                      Load ();

  ///
  /// The current image's functions; stops the program before the first load.
  ///
  const TavriDxeFunctions  &Functions () const;

  DriverImage              &Image () { return mImage; }
  const DriverImage        &Image () const { return mImage; }

private:
  DriverImage        mImage;
  TavriDxeFunctions  mFunctions;
};

}

#endif
