#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Installs what the builds and tests use on a Debian 12 machine, each package
# named for what it is used for, without recommended packages: QEMU runs with
# -display none and needs none of its GUI, audio or network-storage extras.
# (Scripts/BuildFirmware.sh installs what EDK2's build needs on its own.)
#
# Prints one line per step (what it does, how many packages, how long it took)
# and keeps apt's and dpkg's full output in a log file it names
# (build/logs/setup.log, or $TAVRI_SETUP_LOG); when a step fails it prints the
# log's last lines and exits with that step's status.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  clang-14 lld-14 llvm-14 libclang-rt-14-dev   # the UEFI images (clang, lld-link, llvm-objcopy) and the fuzzers
  g++ make cmake                               # the host build
  googletest libgtest-dev                      # host tests
  cppcheck clang-tidy-14                       # Scripts/Analyse.sh
  python3                                      # the QEMU and firmware harness (Tests/Harness)
  qemu-system-x86 ovmf                         # QEMU's q35 machine and Debian's OVMF images
  mtools                                       # FAT ESP images for the shell sessions
  sbsigntool openssl                           # Secure Boot: sbsign, sbverify, the snakeoil key
  freeipmi-tools                               # ipmi-fru: the FRU tool's cross-check
  nlohmann-json3-dev                           # JSON for frutool print/verify/make --json (host tool only)
  openipmi ipmitool                            # ipmi_sim, the second BMC, and ipmitool, its witness
  faketime                                     # the reproducibility test's second build, under another clock
  pesign                                       # Authenticode hashes cross-checked (Scripts/Hashes.py)
)
need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ "${#need[@]}" -eq 0 ]; then
  echo "Setup: the ${#packages[@]} packages the builds and tests use are installed"
  exit 0
fi

log="${TAVRI_SETUP_LOG:-build/logs/setup.log}"
mkdir -p "$(dirname "$log")"
: > "$log"
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo

# step WHAT COMMAND...: the command's output goes to the log; one line says
# what it did and how long it took, or on a failure what failed and the log's
# last lines.
step() {
  local what="$1" started=$SECONDS rc=0
  shift
  printf '\n== %s: %s\n' "$what" "$*" >> "$log"
  "$@" >> "$log" 2>&1 < /dev/null || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "Setup: FAILED: $what (exit status $rc) after $((SECONDS - started)) s; the last lines of $log:" >&2
    tail -n 20 "$log" | sed 's/^/  | /' >&2
    echo "Setup: the whole output is in $log" >&2
    exit "$rc"
  fi
  step_time=$((SECONDS - started))
}

echo "Setup: ${#need[@]} of ${#packages[@]} packages missing (${need[*]}); apt's and dpkg's output goes to $log"
step "apt-get update" $SUDO apt-get update
echo "Setup: package lists updated in $step_time s"
step "apt-get install" $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y \
  --no-install-recommends -o Dpkg::Use-Pty=0 "${need[@]}"
installed=$(grep -c '^Setting up ' "$log" || true)
echo "Setup: installed ${#need[@]} packages with their dependencies, $installed packages in all, in $step_time s"
