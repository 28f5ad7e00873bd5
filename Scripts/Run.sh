#!/usr/bin/env bash
# The driver's main job: builds TavriDxe.efi, boots it on real UEFI firmware
# (OVMF in QEMU's q35 machine, with QEMU's simulated BMC on KCS serving a FRU
# file) and prints what it did, boot by boot. "--emulated" runs it on the
# emulated board instead and prints the full trace. "--firmware" builds OVMF from
# EDK2 source with the driver inside its firmware volume and boots that: the DXE
# core dispatches the driver and the boot manager signals ready-to-boot.
# "--bmc openipmi" boots against OpenIPMI's ipmi_sim and prints ipmitool's view
# of the FRU device.
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
if [ "${1:-}" = "--emulated" ]; then
  exec build/Tools/TavriRun
fi
if [ "${1:-}" = "--firmware" ]; then
  Scripts/BuildFirmware.sh build
  exec python3 Tests/Firmware/BootFirmware.py build --work build/firmware-run
fi
if [ "${1:-}" = "--bmc" ] && [ "${2:-}" = "openipmi" ]; then
  exec python3 Tests/Qemu/BootOnOvmf.py build --work build/qemu-run-openipmi --bmc openipmi
fi
exec python3 Tests/Qemu/BootOnOvmf.py build --work build/qemu-run
