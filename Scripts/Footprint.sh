#!/usr/bin/env bash
# Footprint and cost report of TavriDxe: image and section sizes, the largest
# stack frames and the deepest hook chain, heap use, and IPMI exchanges and
# busy waits per boot on the emulated board. Figures only; nothing is timed.
# SPDX-License-Identifier: BSD-2-Clause-Patent
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

sections() {
  llvm-readobj-14 --sections "$1" | awk '/Name:/{n=$2} /VirtualSize:/{print "   " n " " $2}' | while read -r n v; do printf '   %-8s %6d bytes\n' "$n" "$((v))"; done
}
image=build/TavriDxe.efi
echo "== $image (standalone, clang and lld-link): $(stat -c %s "$image") bytes on disk (budget 6144)"
sections "$image"
edk2_image=build/firmware/TavriDxe.efi
if [ -f "$edk2_image" ]; then
  echo "== $edk2_image (EDK2 DEBUG GCC5 from the source INF, Scripts/BuildFirmware.sh): $(stat -c %s "$edk2_image") bytes on disk (budget 6144)"
  sections "$edk2_image"
  #
  # The same module in a RELEASE build: no DebugLib, so no DEBUG and ASSERT
  # text and no print library from the entry point and table libraries.
  #
  edk2=$(realpath build/firmware/edk2)
  release=$edk2/Build/OvmfX64/RELEASE_GCC5/X64/TavriDxe.efi
  (set +u; cd "$edk2" && export WORKSPACE=$edk2 PACKAGES_PATH=$edk2:$edk2/../stage EDK_TOOLS_PATH=$edk2/BaseTools &&
   . ./edksetup.sh BaseTools >/dev/null && build -a X64 -t GCC5 -b RELEASE -p OvmfPkg/OvmfPkgX64.dsc -DFD_SIZE_4MB \
     -DSECURE_BOOT_ENABLE=TRUE -n "$(nproc)" -m TavriPkg/TavriDxe/TavriDxe.inf) >build/footprint-release.log 2>&1 ||
    { tail -20 build/footprint-release.log; exit 1; }
  echo "== $release (EDK2 RELEASE GCC5 from the source INF): $(stat -c %s "$release") bytes on disk (budget 6144)"
  sections "$release"
fi

#
# Stack frames of the driver's own functions, as each compiler lays them out,
# and the deepest chains from the IPMI notify function.
#
sources=(TavriPkg/TavriDxe/*.cpp TavriPkg/TavriDxe/Fru/*.cpp TavriPkg/TavriDxe/Platform/FirmwareServices.cpp TavriPkg/Library/TavriBaseLib/*.cpp)
stack_report() {
  local name=$1 su=$2
  (cd "$su" && cat ./*.su 2>/dev/null || true) > "$su/all"
  echo "== $name: largest stack frames (bytes)"
  sort -t$'\t' -k2 -n -r "$su/all" | head -6 | awk -F'\t' '{split($1,a,":"); n = a[length(a)]
                                             if (n ~ /^0\(/) n = "a part GCC split off the function at " a[1] ":" a[2]
                                             printf "   %6d  %s\n", $2, n}'
  # A function GCC splits (a ".part" clone reported as "0(...)" at the same
  # line) counts with its clone: the wrapper calls it.
  frame() {
    awk -F'\t' -v f="$1" '{ split($1, a, ":"); key = a[1] ":" a[2]; sum[key] += $2
                            if (index(a[length(a)], f)) want = key }
                          END { print (want == "" ? 0 : sum[want]) }' "$su/all"
  }
  iio=$(( $(frame OnIpmiTransportReady) + $(frame ImportIioConfigFromHob) + $(frame FwSetVariable) ))
  fru=$(( $(frame OnIpmiTransportReady) + $(frame ProbeFruRead) + $(frame ReadFruData) + $(frame ExchangeFruChunk) + $(frame TscDelayMicroseconds) ))
  echo "== $name: deepest chains (driver frames only, budget 24576)"
  echo "   OnIpmiTransportReady > ImportIioConfigFromHob > FwSetVariable: $iio bytes"
  echo "   OnIpmiTransportReady > ProbeFruRead > ReadFruData > ExchangeFruChunk > TscDelayMicroseconds: $fru bytes"
}
su=$(mktemp -d)
flags="--target=x86_64-unknown-windows -std=c++17 -Os -ffreestanding -nostdlibinc -fno-exceptions -fno-rtti -mno-red-zone -fshort-wchar -fno-asynchronous-unwind-tables -mno-sse -mno-mmx -mno-80387 -msoft-float -fstack-usage -ITavriPkg/Include -IStandalone/Include -ITavriPkg/TavriDxe"
for src in "${sources[@]}"; do
  clang-14 $flags -c "$src" -o "$su/$(basename "$src").obj"
done
stack_report "standalone (clang-14 -Os)" "$su"
rm -rf "$su"

#
# The same sources as EDK2's GCC5 DEBUG build compiles them: MdePkg's headers
# and the module's AutoGen.h, without LTO so that GCC reports each frame.
#
edk2=build/firmware/edk2
autogen=$edk2/Build/OvmfX64/DEBUG_GCC5/X64/TavriPkg/TavriDxe/TavriDxe/DEBUG
if [ -f "$autogen/AutoGen.h" ]; then
  su=$(mktemp -d)
  stage=$(realpath "$edk2")/../stage/TavriPkg
  gflags=(-g -Os -fshort-wchar -fno-builtin -fno-strict-aliasing -Wall -Werror -Wno-array-bounds -include AutoGen.h
          -fno-common -ffunction-sections -fdata-sections -fno-stack-protector -m64 -march=x86-64 "-DEFIAPI=__attribute__((ms_abi))"
          -maccumulate-outgoing-args -mno-red-zone -Wno-address -mcmodel=small -fpie -fno-asynchronous-unwind-tables
          -fno-exceptions -mno-mmx -mno-sse -fstack-usage
          -I"$autogen" -I"$edk2/MdePkg/Include" -I"$edk2/MdePkg/Include/X64" -I"$stage/Include" -ITavriPkg/TavriDxe)
  for src in "${sources[@]}"; do
    gcc "${gflags[@]}" -c "$src" -o "$su/$(basename "$src").o"
  done
  stack_report "EDK2 (gcc, GCC5 flags without LTO)" "$su"
  rm -rf "$su"
fi

echo "== on the emulated board (two boots: preset reset, then the full list)"
build/Emulator/TavriRun/TavriRun --quiet | grep -E "^Boot|entry point"

echo "== under QEMU (OVMF, TCG): driver cost against the same 16 Read FRU Data commands sent straight through KCS (budget 1.2x)"
PYTHONPATH=Tests python3 -m Harness.BootOnOvmf build --work build/qemu-footprint | grep -E "[0-9]x \(|whole run"
