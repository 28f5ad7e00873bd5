#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Installs what the builds and tests use on a Debian 12 machine, each package
# named for what it is used for, without recommended packages: QEMU runs with
# -display none and needs none of its GUI, audio or network-storage extras.
# (Scripts/BuildFirmware.sh installs what EDK2's build needs on its own.)
set -euo pipefail
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
)
need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ "${#need[@]}" -gt 0 ]; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
