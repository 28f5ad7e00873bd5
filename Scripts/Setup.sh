#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine.
set -euo pipefail
need=()
for pkg in clang-14 lld-14 llvm-14 libclang-rt-14-dev g++ python3 cmake make cppcheck clang-tidy-14 googletest libgtest-dev qemu-system-x86 ovmf mtools sbsigntool openssl; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
dpkg -s freeipmi-tools >/dev/null 2>&1 || need+=(freeipmi-tools)   # ipmi-fru: the FRU tool's cross-check
# OpenIPMI's BMC simulator and ipmitool: the second BMC and its witness.
for pkg in openipmi ipmitool; do dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg"); done
if [ "${#need[@]}" -gt 0 ]; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
