#!/usr/bin/env bash
# The driver's main job: builds TavriDxe.efi, boots it on real UEFI firmware
# (OVMF in QEMU's q35 machine, with QEMU's simulated BMC on KCS serving a FRU
# file) and prints what it did, boot by boot. "--emulated" runs it on the
# emulated board instead and prints the full trace (the options after it go to
# TavriRun, whose --help lists them). "--firmware" builds OVMF from
# EDK2 source with the driver inside its firmware volume and boots that: the DXE
# core dispatches the driver and the boot manager signals ready-to-boot.
# "--driver-option", "--shell-load" and "--secure-boot" deploy it on stock OVMF
# as an engineer would (the shell's bcfg Driver####, the shell's load, signed
# images under Secure Boot) and print each boot.
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
if [ "${1:-}" = "--emulated" ]; then
  shift
  exec build/Tools/TavriRun "$@"
fi
if [ "${1:-}" = "--firmware" ]; then
  Scripts/BuildFirmware.sh build
  exec python3 Tests/Firmware/BootFirmware.py build --work build/firmware-run
fi
case "${1:-}" in
  --driver-option|--shell-load)
    exec python3 Tests/Qemu/DeployOnStockOvmf.py build "$1" --work "build/qemu-run${1#-}" ;;
  --secure-boot)
    exec python3 Tests/Qemu/DeploySecureBoot.py build --work build/qemu-run-secure-boot ;;
esac
exec python3 Tests/Qemu/BootOnOvmf.py build --work build/qemu-run
