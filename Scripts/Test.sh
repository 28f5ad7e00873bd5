#!/usr/bin/env bash
# Installs, builds the firmware image and the host build, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure "$@"
