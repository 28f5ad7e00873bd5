#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# The standalone images are the same bytes from the same sources: the
# repository's files (tracked and new, as they are in the working tree) are
# copied into two scratch folders whose paths differ in name and length, and
# every UEFI image is built in each, the second under another clock and time
# zone (faketime, five years ahead) and another umask. Every image must be
# byte for byte the same; a difference is shown with cmp's first bytes.
#
# Usage: Tests/Image/ReproducibleImages.sh REPO WORK
set -euo pipefail
repo=$(realpath "$1")
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
trap 'rm -rf "$work/a" "$work/second-build-folder"' EXIT

# One tree: the files git knows of or would add, as they are now.
copy() {
  mkdir -p "$1"
  git -C "$repo" ls-files -z --cached --others --exclude-standard |
    tar -C "$repo" --null --no-recursion --ignore-failed-read -T - -cf - | tar -xf - -C "$1"
}

build() {   # build SOURCE_DIR: configure, then only the UEFI images
  local src=$1
  cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$src/configure.log" 2>&1
  local targets
  targets=$(cmake --build "$src/build" --target help | sed -n 's/^\.\.\. \(.*_efi\)$/\1/p')
  # shellcheck disable=SC2086
  cmake --build "$src/build" -j"$(nproc)" --target $targets >"$src/build.log" 2>&1 ||
    { tail -20 "$src/build.log"; exit 1; }
}

first=$work/a/src
second=$work/second-build-folder/with/a/longer/path/src
copy "$first"
copy "$second"
build "$first"
(umask 077; TZ=Pacific/Kiritimati faketime -f '+5y' bash -c "set -euo pipefail; $(declare -f build); build '$second'")

count=0 differ=0
for image in "$first"/build/*.efi; do
  name=$(basename "$image")
  count=$((count + 1))
  if [ ! -f "$second/build/$name" ]; then
    echo "$name: not built in the second folder"
    differ=$((differ + 1))
  elif ! cmp -s "$image" "$second/build/$name"; then
    echo "$name: differs ($(cmp -l "$image" "$second/build/$name" | wc -l) bytes; first offsets, 1-based, and octal values):"
    cmp -l "$image" "$second/build/$name" | head -5 | sed 's/^/    /' || true
    differ=$((differ + 1))
  fi
done
[ "$count" -gt 0 ] || { echo "no image built"; exit 1; }
if [ "$differ" -ne 0 ]; then
  echo "FAILED: $differ of $count images differ between two builds of the same sources"
  exit 1
fi
echo "$count images built in two folders, under two clocks: byte for byte the same"
sha256sum "$first"/build/*.efi | sed "s|$first/build/||"
