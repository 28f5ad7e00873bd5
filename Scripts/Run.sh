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
# The build's output goes to a log; a failure prints its last lines and path.
log=build/logs/build.log
mkdir -p build/logs
started=$SECONDS
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build build -j"$(nproc)"; } > "$log" 2>&1; then
  echo "Run.sh: FAILED: the build; the last lines of $log:" >&2
  tail -n 20 "$log" | sed 's/^/  | /' >&2
  echo "Run.sh: the whole output is in $log" >&2
  exit 1
fi
echo "Build: up to date in $((SECONDS - started)) s (output in $log)"

# A QEMU run of Tests/Harness; when it fails, where its files are.
harness() {
  local rc=0 work=""
  local args=("$@")
  for ((i = 0; i < ${#args[@]}; i++)); do
    [ "${args[i]}" = --work ] && work="${args[i + 1]:-}"
  done
  PYTHONPATH="$PWD/Tests${PYTHONPATH:+:$PYTHONPATH}" python3 -m "Harness.$1" "${@:2}" || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "Run.sh: FAILED: $1 (exit status $rc); its captures, logs and images are in ${work:-build}" >&2
  fi
  return "$rc"
}

case "$mode" in
  "")              status=0
                   harness BootOnOvmf build --work build/qemu-run || status=$?
                   harness SmbiosOnOvmf build --work build/qemu-run-smbios --bring-up || status=$?
                   exit "$status" ;;
  --emulated)      shift; exec build/Emulator/TavriRun/TavriRun "$@" ;;
  --firmware)      Scripts/BuildFirmware.sh build || {
                     rc=$?; echo "Run.sh: FAILED: Scripts/BuildFirmware.sh (exit status $rc); its output is above" >&2; exit "$rc"; }
                   harness BootFirmware build --work build/firmware-run ;;
  --driver-option|--shell-load)
                   harness DeployOnStockOvmf build "$mode" --work "build/qemu-run${mode#-}" ;;
  --secure-boot)   harness DeploySecureBoot build --work build/qemu-run-secure-boot ;;
  --bmc)           harness BootOnOvmf build --work build/qemu-run-openipmi --bmc openipmi ;;
esac
