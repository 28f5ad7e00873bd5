#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# The driver's main job: builds TavriDxe.efi, boots it on real UEFI firmware
# (OVMF in QEMU's q35 machine, with QEMU's simulated BMC on KCS serving a FRU
# file) and prints what it did, boot by boot, as a bring-up log; then one
# more boot with FruSmbiosDxe shows the SMBIOS values it took from that FRU
# file beside the FRU fields. The other modes are listed by --help. The QEMU
# runs are modules of Tests/Harness.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'USAGE'
usage: Scripts/Run.sh [MODE]
  (none)            stock OVMF in QEMU; the boot app loads TavriDxe and the KCS transport (QEMU's BMC); then a boot with FruSmbiosDxe: SMBIOS values beside the FRU fields
  --emulated [...]  the emulated board with the driver's full trace; later options go to TavriRun (--help)
  --firmware        OVMF built from EDK2 source with TavriDxe in its firmware volume, dispatched by the DXE core
  --driver-option   stock OVMF, Driver#### load options made with the UEFI shell's bcfg
  --shell-load      stock OVMF, the UEFI shell's load command
  --secure-boot     stock OVMF with Secure Boot on, images signed with sbsign
  --bmc openipmi    the default's two boots against OpenIPMI's ipmi_sim, with ipmitool's view of the FRU device
  --help            this list
USAGE
}

mode="${1:-}"
case "$mode" in
  -h|--help) usage; exit 0 ;;
  ""|--emulated|--firmware|--driver-option|--shell-load|--secure-boot) ;;
  --bmc) [ "${2:-}" = openipmi ] || { echo "Run.sh: --bmc takes openipmi" >&2; usage >&2; exit 2; } ;;
  *) echo "Run.sh: unknown mode '$mode'" >&2; usage >&2; exit 2 ;;
esac

Scripts/Setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

harness() {
  PYTHONPATH="$PWD/Tests${PYTHONPATH:+:$PYTHONPATH}" python3 -m "Harness.$1" "${@:2}"
}

case "$mode" in
  "")              status=0
                   harness BootOnOvmf build --work build/qemu-run || status=$?
                   harness SmbiosOnOvmf build --work build/qemu-run-smbios --bring-up || status=$?
                   exit "$status" ;;
  --emulated)      shift; exec build/Emulator/TavriRun/TavriRun "$@" ;;
  --firmware)      Scripts/BuildFirmware.sh build
                   harness BootFirmware build --work build/firmware-run ;;
  --driver-option|--shell-load)
                   harness DeployOnStockOvmf build "$mode" --work "build/qemu-run${mode#-}" ;;
  --secure-boot)   harness DeploySecureBoot build --work build/qemu-run-secure-boot ;;
  --bmc)           harness BootOnOvmf build --work build/qemu-run-openipmi --bmc openipmi ;;
esac
