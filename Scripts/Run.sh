#!/usr/bin/env bash
# The driver's main job: builds TavriDxe.efi, boots it on real UEFI firmware
# (OVMF in QEMU's q35 machine, with QEMU's simulated BMC on KCS serving a FRU
# file) and prints what it did, boot by boot. "--emulated" runs it on the
# emulated board instead and prints the full trace; the options after it go to
# TavriRun (--help lists them), e.g. --emulated --fru fru.bin.
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
if [ "${1:-}" = "--emulated" ]; then
  shift
  exec build/Tools/TavriRun "$@"
fi
exec python3 Tests/Qemu/BootOnOvmf.py build --work build/qemu-run
