/** @file
  IpmiProtocolBridgeDxe as this board loads it: a fresh image for every
  start, its entry point called with the board's system table, as the DXE
  dispatcher starts it once its dependency holds. The build names the host
  module in IPMI_BRIDGE_HOST_MODULE (IpmiBridgeImage.cpp only).

  HostPlatform/IpmiBridgeExports.map exports the entry point only.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_IPMI_BRIDGE_IMAGE_H_
#define EMU_IPMI_BRIDGE_IMAGE_H_

#include "Core/DriverImage.h"

#include <Uefi.h>

#include <string>

namespace Emu {

class IpmiBridgeImage {
public:
  ///
  /// The host module this build makes, or IPMI_BRIDGE_MODULE from the
  /// environment.
  ///
  static std::string  BuiltModulePath ();

  explicit IpmiBridgeImage (const std::string &ModulePath = BuiltModulePath ());

  ///
  /// Load a fresh image and call its entry point; returns the entry point's
  /// status.
  ///
  EFI_STATUS          Start (EFI_SYSTEM_TABLE *SystemTable);

  DriverImage        &Image () { return mImage; }

private:
  DriverImage  mImage;
};

}

#endif
