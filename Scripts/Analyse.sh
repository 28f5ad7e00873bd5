#!/usr/bin/env bash
# Static analysis of the drivers' and the FRU tool's sources: cppcheck and clang-tidy (.clang-tidy),
# both failing on any finding. Needs build/compile_commands.json.
# SPDX-License-Identifier: BSD-2-Clause-Patent
set -euo pipefail
cd "$(dirname "$0")/.."
sources=(TavriPkg/TavriDxe/*.cpp TavriPkg/TavriDxe/Fru/*.cpp TavriPkg/TavriDxe/Platform/FirmwareServices.cpp TavriPkg/Library/TavriBaseLib/*.cpp Emulator/HostPlatform/CpuIoHost.cpp)
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --inline-suppr \
  -ITavriPkg/Include -IStandalone/Include -ITavriPkg/TavriDxe --suppress=missingIncludeSystem --error-exitcode=1 TavriPkg/TavriDxe TavriPkg/Library/TavriBaseLib
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --inline-suppr \
  -ITavriPkg/Include -IStandalone/Include --suppress=missingIncludeSystem --error-exitcode=1 TavriPkg/Library/FruFormatLib TavriPkg/FruTool
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --inline-suppr \
  -ITavriPkg/Include -IStandalone/Include -ITavriPkg/FruSmbiosDxe --suppress=missingIncludeSystem --error-exitcode=1 \
  TavriPkg/FruSmbiosDxe TavriPkg/KcsIpmiDxe
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --inline-suppr \
  -ITavriPkg/Include -IStandalone/Include -ITavriPkg/IpmiProtocolBridgeDxe --suppress=missingIncludeSystem --error-exitcode=1 \
  TavriPkg/IpmiProtocolBridgeDxe
sources+=(TavriPkg/Library/FruFormatLib/Fru*.cpp TavriPkg/FruSmbiosDxe/*.cpp TavriPkg/IpmiProtocolBridgeDxe/*.cpp TavriPkg/FruTool/Host/*.cpp)
clang-tidy-14 -p build --quiet "${sources[@]}"
echo "static analysis: cppcheck and clang-tidy clean on ${#sources[@]} driver and FRU tool sources (cppcheck also on the KCS transport and the IPMI_PROTOCOL bridge)"
