#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
#
# Builds TavriPkg on its own, as EDK2 packages are built and checked:
# `build -p TavriPkg/TavriPkg.dsc -a X64`, DEBUG and RELEASE, with the EDK2
# tree and toolchain tag of one firmware generation (Scripts/BuildFirmware.sh
# makes BUILD/firmware-VERSION). The package comes from this repository as it
# is; the build goes to a workspace of its own (WORK_DIR), so the cached tree
# is only read. Fails on a failed build and on any warning naming a source
# file of TavriPkg (EDK2's GCC flags make a compiler warning an error already;
# this catches the build tools' warnings about our DSC and INFs too). The
# linker's warnings about EDK2's own objects and about the RWX segment of
# every GCC5-linked image (binutils 2.39 and later with EDK2's link script)
# name no source of ours and are not counted.
#
# Usage: BuildTavriPkg.sh FIRMWARE_DIR WORK_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
firmware=${1:?firmware folder (BUILD/firmware-VERSION)}
work=$(mkdir -p "${2:?work dir}" && cd "$2" && pwd)
[ -d "$firmware/edk2/BaseTools" ] && [ -f "$firmware/edk2-toolchain" ] ||
  { echo "BuildTavriPkg: no EDK2 tree in $firmware: run Scripts/BuildFirmware.sh first" >&2; exit 1; }
edk2=$(realpath "$firmware/edk2")
tag=$(cat "$firmware/edk2-toolchain")

set +u
set --
export WORKSPACE=$work PACKAGES_PATH=$edk2:$repo EDK_TOOLS_PATH=$edk2/BaseTools
# shellcheck disable=SC1091
. "$edk2/edksetup.sh" BaseTools >/dev/null
set -u

failed=0
for target in DEBUG RELEASE; do
  log=$work/build-$target.log
  start=$SECONDS
  if ! (cd "$work" && build -p TavriPkg/TavriPkg.dsc -a X64 -t "$tag" -b "$target" -n "$(nproc)") >"$log" 2>&1; then
    tail -40 "$log"
    echo "BuildTavriPkg: $target build failed ($(cat "$firmware/edk2-version"), $tag); full log: $log" >&2
    failed=1
    continue
  fi
  warnings=$(grep -i 'warning' "$log" | grep -E "$repo/TavriPkg/|TavriPkg/[A-Za-z0-9_/]*\.(dsc|dec|inf)" || true)
  if [ -n "$warnings" ]; then
    echo "$warnings"
    echo "BuildTavriPkg: $target: warnings from TavriPkg's files; full log: $log" >&2
    failed=1
    continue
  fi
  dir=$work/Build/TavriPkg/${target}_$tag/X64
  modules=$(ls "$dir"/*.efi 2>/dev/null | wc -l)
  libs=$(find "$dir/TavriPkg/Library" -name '*.lib' 2>/dev/null | wc -l)
  echo "BuildTavriPkg: $target $tag on EDK2 $(cat "$firmware/edk2-version"): $modules modules, $libs libraries, no warning, $((SECONDS - start)) s"
  for efi in "$dir"/*.efi; do
    printf '  %-28s %7d bytes\n' "$(basename "$efi")" "$(stat -c %s "$efi")"
  done
done
exit "$failed"
