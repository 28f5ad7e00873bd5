#!/usr/bin/env bash
# Builds OVMF (OvmfPkgX64: DEBUG, GCC5, 4 MiB flash, Secure Boot as Debian
# builds it) from Debian's edk2 source package with TavriPkg inside, three
# ways: TavriDxe and the KCS IPMI transport built from source by EDK2's build;
# TavriDxe from the standalone image through its binary INF; and the transport
# started first (the negative test). The EDK2 tree and its build live in a
# cache outside the repo, keyed by the EDK2 version and our patch to it, and
# are reused: EDK2's build is incremental, so a change to our sources rebuilds
# our modules and the flash images only.
#
# SPDX-License-Identifier: BSD-2-Clause-Patent
#
# Usage: Scripts/BuildFirmware.sh [BUILD_DIR]    (default: build, which must
#        hold TavriDxe.efi and KcsIpmiDxe.efi)
# Makes: BUILD_DIR/firmware/OVMF_CODE.fd                 from source: TavriDxe, then the transport
#        BUILD_DIR/firmware/OVMF_CODE.binary.fd          TavriDxe.efi through the binary INF
#        BUILD_DIR/firmware/OVMF_CODE.transport-first.fd the transport with no
#                                                       dependency, started first
#        BUILD_DIR/firmware/OVMF_CODE.transport2.fd      the transport's IPMI_TRANSPORT2 face
#        BUILD_DIR/firmware/OVMF_CODE.transport2-published-depex.fd
#                                                       that face with GenericIpmi's published DEPEX
#        BUILD_DIR/firmware/TavriDxe.efi                 TavriDxe as EDK2 built it
#        BUILD_DIR/firmware/edk2                        the EDK2 source tree used
# Cache: $TAVRI_CACHE, else ~/.cache/tavri.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$(realpath "${1:-build}")
cache=${TAVRI_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavri}
flags=(-a X64 -t GCC5 -b DEBUG -p OvmfPkg/OvmfPkgX64.dsc -DFD_SIZE_4MB -DSECURE_BOOT_ENABLE=TRUE)
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
started=$(date +%s)
say() { echo "BuildFirmware: $*"; }
took() { echo "$(( $(date +%s) - $1 )) s"; }

for image in TavriDxe.efi KcsIpmiDxe.efi KcsIpmiDxeTransport2.efi; do
  [ -f "$build/$image" ] || { say "$build/$image is missing: build the project first" >&2; exit 1; }
done

#
# What EDK2's build needs.
#
need=()
for pkg in nasm acpica-tools uuid-dev python3-distutils build-essential dpkg-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ "${#need[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

#
# Source entries, derived from the machine's own binary entries, when apt
# knows no source package yet.
#
known_versions() { apt-cache showsrc edk2 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -V; }
if [ -z "$(known_versions)" ]; then
  say "adding deb-src entries beside the machine's deb entries"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && [ "$(basename "$f")" != tavri-deb-src.sources ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && !/(^|\n)Enabled: *no/ {
           sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f"
  done | $SUDO tee /etc/apt/sources.list.d/tavri-deb-src.sources >/dev/null
  lines=$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } | sed -n 's/^deb \(.*\)/deb-src \1/p')
  [ -z "$lines" ] || echo "$lines" | $SUDO tee /etc/apt/sources.list.d/tavri-deb-src.list >/dev/null
  $SUDO apt-get update -qq || true
fi
version=$(known_versions | tail -1)
[ -n "$version" ] || { say "apt knows no edk2 source package" >&2; exit 1; }

#
# The EDK2 tree with our patch, and BaseTools: made once per version and patch.
#
patches=("$repo"/Scripts/Ovmf/*.patch)
root=$cache/edk2-$version-$(cat "${patches[@]}" | sha256sum | cut -c1-12)
src=$root/src
if [ ! -f "$root/source.ready" ]; then
  step=$(date +%s)
  rm -rf "$root"
  mkdir -p "$root/dl"
  (cd "$root/dl" && apt-get source --download-only -qq "edk2=$version" 2>&1 | grep -v "unsandboxed" || true)
  # apt checked the files against the signed archive index; dpkg-source has
  # no keyring for the uploader's own signature, which it only warns about.
  dpkg-source -x "$root"/dl/edk2_*.dsc "$src" >"$root/extract.log" 2>&1 || { cat "$root/extract.log"; exit 1; }
  for p in "${patches[@]}"; do
    patch -d "$src" -p1 --binary --quiet < "$p"
  done
  make -C "$src/BaseTools" -j"$(nproc)" >"$root/basetools.log" 2>&1 || { tail -30 "$root/basetools.log"; exit 1; }
  touch "$root/source.ready"
  say "EDK2 $version fetched, patched, BaseTools built in $(took "$step") ($root)"
fi

set +u
set --
export WORKSPACE=$src PACKAGES_PATH=$src:$root/stage EDK_TOOLS_PATH=$src/BaseTools
# shellcheck disable=SC1091
. "$src/edksetup.sh" BaseTools >/dev/null
set -u

#
# TavriPkg staged beside the tree: its sources, and for the binary INFs the
# standalone images with their dependency expressions (TavriDxe's from its
# source INF's [Depex], the transport's a test's TRUE). The staged copy is
# replaced only when it changes, so that EDK2's build sees unchanged files as
# unchanged.
#
stage=$root/stage/TavriPkg
rm -rf "$stage.new"
mkdir -p "$stage.new"
cp -r "$repo"/TavriPkg/. "$stage.new"
cp "$build/TavriDxe.efi" "$stage.new/TavriDxe/Binary/"
cp "$build/KcsIpmiDxe.efi" "$build/KcsIpmiDxeTransport2.efi" "$stage.new/KcsIpmiDxe/Binary/"
decs=("$src/MdePkg/MdePkg.dec" "$repo/TavriPkg/TavriPkg.dec")
depex() { python3 "$repo/Scripts/Ovmf/MakeDepex.py" GenDepex "$1" "$2" "${decs[@]}"; }
depex "$stage.new/TavriDxe/Binary/TavriDxe.depex" "$repo/TavriPkg/TavriDxe/TavriDxe.inf"
depex "$stage.new/KcsIpmiDxe/Binary/KcsIpmiDxe.depex" "$repo/Tests/Firmware/KcsIpmiDxeTooEarly.dxs"
depex "$stage.new/KcsIpmiDxe/Binary/KcsIpmiDxeTransport2.depex" "$repo/Tests/Firmware/GenericIpmiPublishedDepex.dxs"
if diff -rq "$stage.new" "$stage" >/dev/null 2>&1; then
  rm -rf "$stage.new"
else
  rm -rf "$stage"
  mv "$stage.new" "$stage"
fi

#
# EDK2's build, with a line of progress at most every 30 s: the modules it has
# started so far.
#
fv=$src/Build/OvmfX64/DEBUG_GCC5/FV
edk2_build() {
  local log=$root/build.log pid last=$(date +%s) code=0
  (cd "$src" && build "${flags[@]}" -n "$(nproc)" "$@") >"$log" 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    sleep 2
    if [ $(( $(date +%s) - last )) -ge 30 ]; then
      last=$(date +%s)
      say "  ... $(grep -c '^Building \.\.\. ' "$log" || true) modules started, $(( last - step )) s"
    fi
  done
  wait "$pid" || code=$?
  if [ "$code" != 0 ]; then
    tail -40 "$log"; say "EDK2 build failed; full log: $log" >&2; exit 1
  fi
}

#
# Each flash image: the platform edited for its variant, then EDK2's build.
# The first builds every module that changed; the others mostly lay out the
# flash again. Nothing is built when the inputs are those of the last run.
#
key=$( (find "$stage" -type f -print0 | sort -z | xargs -0 cat;
        cat "$repo/Scripts/Ovmf/AddTavriPkg.py" "$0"; echo "${flags[*]}") | sha256sum | cut -c1-16)
#
# A module's source and binary INFs share its FILE_GUID and name, and so the
# folder of its FFS file: each variant starts without our FFS files, so that
# none is taken over from the variant before.
#
our_guids=$(sed -n 's/^ *FILE_GUID *= *\([0-9A-Fa-f-]*\).*/\1/p' "$stage"/*/Binary/*.inf)
drop_our_ffs() {
  for guid in $our_guids; do rm -rf "$fv/Ffs/$guid"*; done
}
out=$root/out
if [ "$(cat "$out/images.key" 2>/dev/null)" != "$key" ]; then
  mkdir -p "$out"
  rm -f "$out/images.key"
  variants=(source transport2 binary transport-first transport2-published-depex)
  for variant in "${variants[@]}"; do
    step=$(date +%s)
    python3 "$repo/Scripts/Ovmf/AddTavriPkg.py" "$src" "$variant"
    drop_our_ffs
    #
    # A source module's FFS file is made by its module build, so every variant
    # is a whole (incremental) build: after the first, one that compiles
    # nothing and lays out the flash again.
    #
    edk2_build
    case $variant in
      source) cp "$fv/OVMF_CODE.fd" "$out/OVMF_CODE.fd"
              cp "$src/Build/OvmfX64/DEBUG_GCC5/X64/TavriDxe.efi" "$out/TavriDxe.efi" ;;
      *) cp "$fv/OVMF_CODE.fd" "$out/OVMF_CODE.$variant.fd" ;;
    esac
    say "flash image ($variant) made in $(took "$step")"
  done
  python3 "$repo/Scripts/Ovmf/AddTavriPkg.py" "$src" source
  echo "$key" >"$out/images.key"
else
  say "flash images up to date ($out)"
fi

mkdir -p "$build/firmware"
cp "$out"/OVMF_CODE*.fd "$out/TavriDxe.efi" "$build/firmware/"
ln -sfn "$src" "$build/firmware/edk2"
echo "$version" >"$build/firmware/edk2-version"
say "EDK2 $version: $build/firmware/OVMF_CODE*.fd ($(took "$started") in all)"
