#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
#
# EDK2's build of our modules gives the same bytes when it is done again from
# scratch: TavriPkg/TavriPkg.dsc is built (DEBUG and RELEASE) into a fresh
# workspace with one firmware generation's EDK2 tree, the images are kept,
# the workspace's Build folder is removed, and the package is built again
# under another clock and time zone (faketime, five years ahead). Every
# module's .efi must be byte for byte the same.
#
# The workspace's path is the same both times: EDK2's GCC build writes the
# absolute path of each module's intermediate .dll into the image's CodeView
# entry (and DEBUG builds the absolute source paths of ASSERTs), so its images
# depend on where the workspace is, for OvmfPkg's modules as for ours.
#
# Usage: ReproducibleTavriPkg.sh FIRMWARE_DIR WORK_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
firmware=${1:?firmware folder (BUILD/firmware-VERSION)}
work=${2:?work dir}
[ -d "$firmware/edk2/BaseTools" ] && [ -f "$firmware/edk2-toolchain" ] ||
  { echo "ReproducibleTavriPkg: no EDK2 tree in $firmware: run Scripts/BuildFirmware.sh first" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/first"
work=$(realpath "$work")
edk2=$(realpath "$firmware/edk2")
tag=$(cat "$firmware/edk2-toolchain")

set +u
set --
export WORKSPACE=$work/ws PACKAGES_PATH=$edk2:$repo EDK_TOOLS_PATH=$edk2/BaseTools
# shellcheck disable=SC1091
. "$edk2/edksetup.sh" BaseTools >/dev/null
set -u
mkdir -p "$WORKSPACE"

build_package() {   # build_package LOG [faketime args...]: DEBUG and RELEASE from scratch
  local log=$1
  shift
  rm -rf "$WORKSPACE/Build"
  if ! (cd "$WORKSPACE" && "$@" build -p TavriPkg/TavriPkg.dsc -a X64 -t "$tag" -b DEBUG -b RELEASE -n "$(nproc)") >"$log" 2>&1; then
    tail -30 "$log"
    echo "ReproducibleTavriPkg: the build failed; full log: $log" >&2
    exit 1
  fi
}

start=$SECONDS
build_package "$work/first.log" env
for target in DEBUG RELEASE; do
  mkdir -p "$work/first/$target"
  cp "$WORKSPACE/Build/TavriPkg/${target}_$tag/X64/"*.efi "$work/first/$target/"
done
build_package "$work/second.log" env TZ=Pacific/Kiritimati faketime -f +5y

count=0 differ=0
for target in DEBUG RELEASE; do
  for image in "$work/first/$target"/*.efi; do
    again=$WORKSPACE/Build/TavriPkg/${target}_$tag/X64/$(basename "$image")
    count=$((count + 1))
    if ! cmp -s "$image" "$again"; then
      echo "$target $(basename "$image"): differs ($(cmp -l "$image" "$again" 2>&1 | wc -l) bytes; first offsets, 1-based, and octal values):"
      cmp -l "$image" "$again" 2>&1 | head -5 | sed 's/^/    /' || true
      differ=$((differ + 1))
    fi
  done
done
[ "$count" -gt 0 ] || { echo "ReproducibleTavriPkg: no module built" >&2; exit 1; }
if [ "$differ" -ne 0 ]; then
  echo "ReproducibleTavriPkg: FAILED: $differ of $count images differ between two builds from scratch" >&2
  exit 1
fi
echo "ReproducibleTavriPkg: $count images (DEBUG and RELEASE) of EDK2 $(cat "$firmware/edk2-version") ($tag) built twice" \
     "from scratch, under two clocks: byte for byte the same ($((SECONDS - start)) s)"
