#!/usr/bin/env bash
# The driver's main job: builds TavriDxe.efi, boots it on real UEFI firmware
# (OVMF in QEMU's q35 machine, with QEMU's simulated BMC on KCS serving a FRU
# file) and prints what it did, boot by boot. Other ways to run it:
#   --emulated         on the emulated board, with the full trace; the options
#                      after it go to TavriRun (--help lists them)
#   --firmware         OVMF built from EDK2 source with the driver inside its
#                      firmware volume: the DXE core dispatches it and the boot
#                      manager signals ready-to-boot
#   --driver-option    stock OVMF, Driver#### load options made with the shell's bcfg
#   --shell-load       stock OVMF, the shell's load
#   --secure-boot      stock OVMF with Secure Boot on, sbsign-signed images
#   --bmc openipmi     against OpenIPMI's ipmi_sim, with ipmitool's view of the FRU device
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
case "${1:-}" in
  "")
    exec python3 Tests/Qemu/BootOnOvmf.py build --work build/qemu-run ;;
  --emulated)
    shift
    exec build/Emulator/TavriRun/TavriRun "$@" ;;
  --firmware)
    Scripts/BuildFirmware.sh build
    exec python3 Tests/Firmware/BootFirmware.py build --work build/firmware-run ;;
  --driver-option|--shell-load)
    exec python3 Tests/Qemu/DeployOnStockOvmf.py build "$1" --work "build/qemu-run${1#-}" ;;
  --secure-boot)
    exec python3 Tests/Qemu/DeploySecureBoot.py build --work build/qemu-run-secure-boot ;;
  --bmc)
    [ "${2:-}" = openipmi ] || { echo "Run.sh: --bmc takes openipmi" >&2; exit 2; }
    exec python3 Tests/Qemu/BootOnOvmf.py build --work build/qemu-run-openipmi --bmc openipmi ;;
  *)
    echo "usage: Scripts/Run.sh [--emulated|--firmware|--driver-option|--shell-load|--secure-boot|--bmc openipmi]" >&2
    exit 2 ;;
esac
