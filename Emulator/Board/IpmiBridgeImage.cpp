/** @file
  IpmiProtocolBridgeDxe as this board loads it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "IpmiBridgeImage.h"

#include <cstdint>
#include <cstdlib>

namespace Emu {

namespace {

///
/// The image handle the bridge's entry point is given.
///
EFI_HANDLE const  IPMI_BRIDGE_IMAGE_HANDLE = reinterpret_cast<EFI_HANDLE>(static_cast<uintptr_t>(0x1B1D0000));

using ENTRY_POINT = EFI_STATUS (EFIAPI *)(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

}  // namespace

std::string
IpmiBridgeImage::BuiltModulePath ()
{
  const char  *FromEnvironment = std::getenv ("IPMI_BRIDGE_MODULE");

  return (FromEnvironment != nullptr) ? FromEnvironment : IPMI_BRIDGE_HOST_MODULE;
}

IpmiBridgeImage::IpmiBridgeImage (const std::string &ModulePath)
  : mImage (ModulePath, IPMI_BRIDGE_IMAGE_HANDLE)
{
}

EFI_STATUS
IpmiBridgeImage::Start (EFI_SYSTEM_TABLE *SystemTable)
{
  mImage.Load ();
  return mImage.Function<ENTRY_POINT>("IpmiProtocolBridgeEntryPoint")(mImage.Handle (), SystemTable);
}

}
