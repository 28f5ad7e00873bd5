#!/usr/bin/env bash
# Builds OVMF (OvmfPkgX64: DEBUG, 4 MiB flash, Secure Boot as Debian builds
# it) with TavriPkg inside, on each EDK2 generation the project supports, from
# Debian's edk2 source packages: 2022.11 (Debian 12) and 2025.02 (Debian 13).
# Six flash images per generation: TavriDxe and the KCS IPMI transport built
# from source by EDK2's build; TavriDxe from the standalone image through its
# binary INF; the transport started first (the negative test); the
# transport's IPMI_TRANSPORT2 face; that face with GenericIpmi's published
# dependency; EDK2's own IPMI stack (the transport's IPMI_PROTOCOL face, then
# TavriDxe, IpmiProtocolBridgeDxe and FruSmbiosDxe). Each EDK2 tree and its build live in a cache outside the repo,
# one per EDK2 version and our patches to it, and are reused: EDK2's build is
# incremental, so a change to our sources rebuilds our modules and the flash
# images only.
#
# SPDX-License-Identifier: BSD-2-Clause-Patent
#
# Usage: Scripts/BuildFirmware.sh [BUILD_DIR [VERSION...]]
#        BUILD_DIR (default build) must hold TavriDxe.efi, KcsIpmiDxe.efi and
#        KcsIpmiDxeTransport2.efi; VERSION is one of the generations below
#        (default: all of them).
# Makes, per generation, in BUILD_DIR/firmware-VERSION:
#        OVMF_CODE.fd                 from source: TavriDxe, then the transport
#        OVMF_CODE.binary.fd          TavriDxe.efi through the binary INF
#        OVMF_CODE.transport-first.fd the transport with no dependency, started first
#        OVMF_CODE.transport2.fd      the transport's IPMI_TRANSPORT2 face
#        OVMF_CODE.transport2-published-depex.fd
#                                     that face with GenericIpmi's published DEPEX
#        OVMF_CODE.ipmi-protocol.fd   IPMI_PROTOCOL first, TavriDxe, the bridge, FruSmbiosDxe
#        TavriDxe.efi                 TavriDxe as EDK2 built it
#        edk2                         the EDK2 source tree used (a link into the cache)
#        edk2-version, edk2-toolchain the Debian package version, the toolchain tag
# and BUILD_DIR/firmware, a link to the first generation's folder.
# Cache: $TAVRI_CACHE, else ~/.cache/tavri: edk2-<Debian version>-<hash of the
#        patches applied>/ per generation, apt-<suite>/ (apt's private state
#        for that suite's source index), logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$(realpath "${1:-build}")
shift || true
cache=${TAVRI_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavri}
jobs=$(nproc)
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
started=$(date +%s)
say() { echo "BuildFirmware: $*"; }
took() { echo "$(( $(date +%s) - $1 )) s"; }
# logged LOG COMMAND...: the command's whole output into LOG (appended); on
# failure its last lines, the log's name, and the script stops.
logged() {
  local log=$1; shift
  if ! "$@" >>"$log" 2>&1; then
    tail -30 "$log" >&2
    say "failed: $*; full log: $log" >&2
    exit 1
  fi
}

#
# The EDK2 generations: upstream version, and the Debian suite whose edk2
# source package carries it. The first one's images are also BUILD_DIR/firmware.
#
generations=(2022.11:bookworm 2025.02:trixie)

#
# What differs between generations, chosen from the upstream version.
#
configure() {
  local v=$1
  # Toolchain tag: GCC5 until EDK2 renamed it (edk2-stable202605 has GCC only).
  tag=GCC5; if dpkg --compare-versions "$v" ge 2026.05; then tag=GCC; fi
  # OvmfPkg's FDF include of the TPM drivers, after which our DXE drivers go:
  # EDK2 moved OvmfPkg's .fdf.inc files under Include/Fdf after 2022.11.
  tpm_include=OvmfPkg/Include/Fdf/OvmfTpmDxe.fdf.inc
  if dpkg --compare-versions "$v" le 2022.11; then tpm_include=OvmfPkg/OvmfTpmDxe.fdf.inc; fi
  # Our patches to the tree: later EDK2 accepts the NV store's variable
  # states in transition by itself.
  patches=()
  if dpkg --compare-versions "$v" le 2022.11; then
    patches+=("$repo/Scripts/Ovmf/PlatformInitLib-NvVarStore-VariableStates.patch")
  fi
  flags=(-a X64 -t "$tag" -b DEBUG -p OvmfPkg/OvmfPkgX64.dsc -DFD_SIZE_4MB -DSECURE_BOOT_ENABLE=TRUE)
}

wanted=("$@")
for g in "${generations[@]}"; do all+=("${g%%:*}"); done
[ "${#wanted[@]}" -gt 0 ] || wanted=("${all[@]}")
for v in "${wanted[@]}"; do
  [[ " ${all[*]} " == *" $v "* ]] || { say "unknown EDK2 version $v (known: ${all[*]})" >&2; exit 1; }
done
for image in TavriDxe.efi KcsIpmiDxe.efi KcsIpmiDxeTransport2.efi; do
  [ -f "$build/$image" ] || { say "$build/$image is missing: build the project first" >&2; exit 1; }
done
mkdir -p "$cache/logs"

#
# What EDK2's build needs.
#
need=()
for pkg in nasm acpica-tools uuid-dev python3-distutils build-essential dpkg-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ "${#need[@]}" -gt 0 ]; then
  step=$(date +%s)
  log=$cache/logs/apt-install.log
  : >"$log"
  say "installing ${need[*]} with apt ..."
  logged "$log" $SUDO apt-get update
  logged "$log" $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
  count=$(sed -n 's/^[0-9]* upgraded, \([0-9]*\) newly installed.*/\1/p' "$log" | tail -1)
  say "installed ${need[*]}: ${count:-?} packages in $(took "$step") (log: $log)"
fi

#
# apt's private state for one suite's source index: a source list derived
# from the machine's own entries (Scripts/Ovmf/AptSources.py), its own lists
# and cache; the machine's apt configuration is not touched. The index is
# fetched again when older than a day; an index that cannot be refreshed is
# used as it is.
#
private_apt() {
  local suite=$1 dir=$cache/apt-$1 log=$cache/logs/apt-$1.log
  apt_opts=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=$dir/parts"
            -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache")
  if [ -n "$(find "$dir/lists" -maxdepth 1 -name '*Sources*' -mmin -1440 2>/dev/null)" ]; then
    return
  fi
  local step=$(date +%s)
  mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
  : >"$log"
  logged "$log" python3 "$repo/Scripts/Ovmf/AptSources.py" "$suite" "$dir"
  if apt-get "${apt_opts[@]}" update >>"$log" 2>&1; then
    say "apt source index for $suite fetched in $(took "$step") (log: $log)"
  elif [ -n "$(find "$dir/lists" -maxdepth 1 -name '*Sources*' 2>/dev/null)" ]; then
    say "apt source index for $suite not refreshed, using the one from before (log: $log)"
  else
    tail -30 "$log" >&2; say "no apt source index for $suite; full log: $log" >&2; exit 1
  fi
}

#
# The source package unpacked as dpkg-source does: with its .dsc through
# dpkg-source; when the archive serves the tarballs but not the .dsc, the
# orig tarballs (the main one, then each component's into its folder) and the
# debian tarball, then debian/patches/series applied in order.
#
unpack() {
  local dl=$1 dest=$2 log=$3
  if ls "$dl"/*.dsc >/dev/null 2>&1; then
    # apt checked the files against the signed archive index; dpkg-source has
    # no keyring for the uploader's own signature, which it only warns about.
    logged "$log" dpkg-source -x "$dl"/*.dsc "$dest"
    return
  fi
  echo "no .dsc: unpacking the tarballs and applying debian/patches/series" >>"$log"
  mkdir -p "$dest"
  local main comp t
  main=$(ls "$dl"/*.orig.tar.* | grep -v '\.orig-[^/]*\.tar\.' | grep -v '\.asc$' | head -1)
  logged "$log" tar -xf "$main" -C "$dest" --strip-components=1
  for t in "$dl"/*.orig-*.tar.*; do
    [ -e "$t" ] && [[ $t != *.asc ]] || continue
    comp=${t##*.orig-}; comp=${comp%%.tar.*}
    mkdir -p "$dest/$comp"
    logged "$log" tar -xf "$t" -C "$dest/$comp" --strip-components=1
  done
  logged "$log" tar -xf "$(ls "$dl"/*.debian.tar.*)" -C "$dest"
  local series=$dest/debian/patches/series line opts
  [ -f "$series" ] || return 0
  while read -r line; do
    line=${line%%#*}
    [ -n "${line// }" ] || continue
    read -r p opts <<<"$line"
    logged "$log" patch -d "$dest" ${opts:--p1} --no-backup-if-mismatch -i "$dest/debian/patches/$p"
  done <"$series"
}

#
# EDK2's build, with a line of progress at most every 30 s: the modules it has
# started so far.
#
edk2_build() {
  local log=$root/build.log pid last=$(date +%s) code=0
  (cd "$src" && build "${flags[@]}" -n "$jobs" "$@") >"$log" 2>&1 &
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
# One generation: its tree, its six images, its folder in BUILD_DIR.
#
build_generation() {
  local upstream=$1 suite=$2 version root src stage out step
  configure "$upstream"
  private_apt "$suite"
  version=$( (apt-cache "${apt_opts[@]}" showsrc edk2 2>/dev/null || true) | awk '/^Version:/ { print $2 }' | sort -V | tail -1)
  [ -n "$version" ] || { say "apt knows no edk2 source package in $suite" >&2; exit 1; }
  [ "$(echo "${version#*:}" | cut -d- -f1)" = "$upstream" ] ||
    { say "$suite carries edk2 $version, not $upstream: update the generations in $0" >&2; exit 1; }

  #
  # The EDK2 tree with our patches, and BaseTools: made once per version and
  # patch set.
  #
  root=$cache/edk2-$version-$( (echo "${patches[@]##*/}"; cat /dev/null "${patches[@]}") | sha256sum | cut -c1-12)
  src=$root/src
  if [ ! -f "$root/source.ready" ]; then
    rm -rf "$root"
    mkdir -p "$root/dl"
    step=$(date +%s)
    # A missing .dsc is not fatal: unpack() works from the tarballs then.
    (cd "$root/dl" && apt-get "${apt_opts[@]}" source --download-only "edk2=$version") >"$root/fetch.log" 2>&1 || true
    ls "$root"/dl/*.orig.tar.* "$root"/dl/*.debian.tar.* >/dev/null 2>&1 ||
      { tail -30 "$root/fetch.log" >&2; say "edk2 $version not fetched; full log: $root/fetch.log" >&2; exit 1; }
    say "EDK2 $version fetched: $(du -shc "$root"/dl/* | tail -1 | cut -f1) in $(took "$step") (log: $root/fetch.log)"
    step=$(date +%s)
    : >"$root/extract.log"
    unpack "$root/dl" "$src" "$root/extract.log"
    for p in "${patches[@]}"; do
      logged "$root/extract.log" patch -d "$src" -p1 --binary -i "$p"
    done
    say "EDK2 $version unpacked, ${#patches[@]} patch(es) of ours applied in $(took "$step") (log: $root/extract.log)"
    step=$(date +%s)
    : >"$root/basetools.log"
    logged "$root/basetools.log" make -C "$src/BaseTools" -j"$jobs"
    touch "$root/source.ready"
    say "EDK2 $version BaseTools built in $(took "$step") (log: $root/basetools.log)"
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
  local decs=("$src/MdePkg/MdePkg.dec" "$repo/TavriPkg/TavriPkg.dec")
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
  # Each flash image: the platform edited for its variant, then EDK2's build.
  # The first builds every module that changed; the others mostly lay out the
  # flash again. Nothing is built when the inputs are those of the last run.
  #
  local fv=$src/Build/OvmfX64/DEBUG_$tag/FV add=(python3 "$repo/Scripts/Ovmf/AddTavriPkg.py" --tpm-include "$tpm_include" "$src")
  local key
  key=$( (find "$stage" -type f -print0 | sort -z | xargs -0 cat;
          cat "$repo/Scripts/Ovmf/AddTavriPkg.py" "$0"; echo "${flags[*]} $tpm_include") | sha256sum | cut -c1-16)
  #
  # A module's source and binary INFs share its FILE_GUID and name, and so the
  # folder of its FFS file: each variant starts without our FFS files, so that
  # none is taken over from the variant before.
  #
  local our_guids guid variant
  our_guids=$(sed -n 's/^ *FILE_GUID *= *\([0-9A-Fa-f-]*\).*/\1/p' "$stage"/*/Binary/*.inf)
  out=$root/out
  if [ "$(cat "$out/images.key" 2>/dev/null)" != "$key" ]; then
    mkdir -p "$out"
    rm -f "$out/images.key"
    for variant in source transport2 binary transport-first transport2-published-depex ipmi-protocol; do
      step=$(date +%s)
      "${add[@]}" "$variant"
      for guid in $our_guids; do rm -rf "$fv/Ffs/$guid"*; done
      #
      # A source module's FFS file is made by its module build, so every
      # variant is a whole (incremental) build: after the first, one that
      # compiles nothing and lays out the flash again.
      #
      edk2_build
      case $variant in
        source) cp "$fv/OVMF_CODE.fd" "$out/OVMF_CODE.fd"
                cp "$src/Build/OvmfX64/DEBUG_$tag/X64/TavriDxe.efi" "$out/TavriDxe.efi" ;;
        *) cp "$fv/OVMF_CODE.fd" "$out/OVMF_CODE.$variant.fd" ;;
      esac
      say "EDK2 $upstream: flash image ($variant) made in $(took "$step") (log: $root/build.log)"
    done
    "${add[@]}" source
    echo "$key" >"$out/images.key"
  else
    say "EDK2 $upstream: flash images up to date ($out)"
  fi

  local dest=$build/firmware-$upstream
  mkdir -p "$dest"
  cp "$out"/OVMF_CODE*.fd "$out/TavriDxe.efi" "$dest/"
  ln -sfn "$src" "$dest/edk2"
  echo "$version" >"$dest/edk2-version"
  echo "$tag" >"$dest/edk2-toolchain"
  say "EDK2 $version ($tag): $dest/OVMF_CODE*.fd"
}

for g in "${generations[@]}"; do
  upstream=${g%%:*}
  [[ " ${wanted[*]} " == *" $upstream "* ]] || continue
  ( build_generation "$upstream" "${g#*:}" )
done

# The first generation's folder under the name the tools and tests have
# always used.
first=firmware-${all[0]}
if [ -d "$build/$first" ] && [ "$(readlink "$build/firmware" 2>/dev/null)" != "$first" ]; then
  rm -rf "$build/firmware"
  ln -s "$first" "$build/firmware"
fi
say "EDK2 ${wanted[*]}: done in $(took "$started")"
