/** @file
  The TavriDxe driver as this board loads it. The build names the host
  module in TAVRI_DXE_HOST_MODULE (this file only).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "TavriDxeImage.h"
#include "Core/FirmwareAssert.h"

#include <cstdlib>

namespace Emu {

namespace {

///
/// The image handle the driver's entry point is given.
///
EFI_HANDLE const  TAVRI_DXE_IMAGE_HANDLE = reinterpret_cast<EFI_HANDLE>(static_cast<uintptr_t>(0x1A6E0000));

template <typename FN>
void
Resolve (const DriverImage &Image, const char *Name, FN &Function)
{
  Function = Image.Function<FN>(Name);
}

}  // namespace

std::string
TavriDxeImage::BuiltModulePath ()
{
  const char  *FromEnvironment = std::getenv ("TAVRI_DXE_MODULE");

  return (FromEnvironment != nullptr) ? FromEnvironment : TAVRI_DXE_HOST_MODULE;
}

TavriDxeImage::TavriDxeImage (const std::string &ModulePath)
  : mImage (ModulePath, TAVRI_DXE_IMAGE_HANDLE)
{
}

void
TavriDxeImage::Load ()
{
  mImage.Load ();
  Resolve (mImage, "TavriDxeEntryPoint", mFunctions.EntryPoint);
  Resolve (mImage, "LookupHobList", mFunctions.LookupHobList);
  Resolve (mImage, "TscDelayMicroseconds", mFunctions.TscDelayMicroseconds);
  Resolve (mImage, "EnforcePowerManagementPreset", mFunctions.EnforcePowerManagementPreset);
  Resolve (mImage, "InstallFruAccessProtocol", mFunctions.InstallFruAccessProtocol);
  Resolve (mImage, "ProbeFruRead", mFunctions.ProbeFruRead);
  Resolve (mImage, "WriteCmosBootMarker", mFunctions.WriteCmosBootMarker);
  Resolve (mImage, "ImportIioConfigFromHob", mFunctions.ImportIioConfigFromHob);
}

const TavriDxeFunctions &
TavriDxeImage::Functions () const
{
  if (!mImage.Loaded ()) {
    FirmwareAssert ("driver functions asked for before the driver image was loaded");
  }

  return mFunctions;
}

}
