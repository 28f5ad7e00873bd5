#!/usr/bin/env bash
# Installs what is missing, builds the driver's image and the host build, and
# OVMF from EDK2 source with the driver inside (cached outside the repo), and
# runs every test; then builds the host side again with ASan and UBSan and runs
# the host tests under them, and gives each fuzz target a bounded run.
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build build -j"$(nproc)"
Scripts/BuildFirmware.sh build
ctest --test-dir build --output-on-failure "$@"
Scripts/Analyse.sh

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVRI_SANITIZE=ON -DTAVRI_BUILD_EFI=OFF
cmake --build build-sanitize -j"$(nproc)"
ctest --test-dir build-sanitize --output-on-failure -L host "$@"

# Bounded fuzz runs (libFuzzer with ASan and UBSan).
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRI_FUZZ=ON -DTAVRI_BUILD_EFI=OFF
cmake --build build-fuzz -j"$(nproc)" --target FruTransferFuzz SetupInputsFuzz FruFormatFuzz
ctest --test-dir build-fuzz --output-on-failure -L fuzz "$@"
