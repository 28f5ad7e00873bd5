#!/usr/bin/env bash
# Builds the driver and runs it on the emulated board, printing what it did
# boot by boot.
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
build/Tools/TavriRun "$@"
