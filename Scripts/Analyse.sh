#!/usr/bin/env bash
# Static analysis of the driver and FRU tool sources: cppcheck and clang-tidy (.clang-tidy),
# both failing on any finding. Needs build/compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
sources=(TavriDxe/*.cpp TavriDxe/Fru/*.cpp TavriDxe/Platform/FirmwareServices.cpp TavriDxe/Platform/Host/CpuIoHost.cpp)
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --inline-suppr \
  -IInclude -ITavriDxe --suppress=missingIncludeSystem --error-exitcode=1 TavriDxe
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --inline-suppr \
  -IInclude -ITools/FruTool --suppress=missingIncludeSystem --error-exitcode=1 Tools/FruTool
sources+=(Tools/FruTool/Fru*.cpp)
clang-tidy-14 -p build --quiet "${sources[@]}"
echo "static analysis: cppcheck and clang-tidy clean on ${#sources[@]} driver and FRU tool sources"
