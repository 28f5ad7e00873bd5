#!/usr/bin/env bash
# Footprint and cost report of TavriDxe: image and section sizes, the largest
# stack frames and the deepest hook chain, heap use, and IPMI exchanges and
# busy waits per boot on the emulated board. Figures only; nothing is timed.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

image=build/TavriDxe.efi
echo "== $image: $(stat -c %s "$image") bytes on disk (budget 6144)"
llvm-readobj-14 --sections "$image" | awk '/Name:/{n=$2} /VirtualSize:/{print "   " n " " $2}' | while read -r n v; do printf '   %-8s %6d bytes\n' "$n" "$((v))"; done

su=$(mktemp -d)
flags="--target=x86_64-unknown-windows -std=c++17 -Os -ffreestanding -nostdlibinc -fno-exceptions -fno-rtti -mno-red-zone -fshort-wchar -fno-asynchronous-unwind-tables -mno-sse -mno-mmx -mno-80387 -msoft-float -fstack-usage -ITavriPkg/Include -IStandalone/Include -ITavriPkg/TavriDxe"
for src in TavriPkg/TavriDxe/*.cpp TavriPkg/TavriDxe/Fru/*.cpp TavriPkg/TavriDxe/Platform/FirmwareServices.cpp; do
  clang-14 $flags -c "$src" -o "$su/$(basename "$src").obj" -fstack-usage
done
(cd "$su" && cat ./*.su 2>/dev/null || true) > "$su/all"
echo "== largest stack frames (bytes)"
sort -t$'\t' -k2 -n -r "$su/all" | head -6 | awk -F'\t' '{split($1,a,":"); printf "   %6d  %s\n", $2, a[length(a)]}'
frame() { awk -F'\t' -v f="$1" '{split($1,a,":"); if (index(a[length(a)], f)) print $2}' "$su/all" | head -1; }
iio=$(( $(frame OnIpmiTransportReady) + $(frame ImportIioConfigFromHob) + $(frame FwSetVariable) ))
fru=$(( $(frame OnIpmiTransportReady) + $(frame ProbeFruRead) + $(frame ReadFruData) + $(frame ExchangeFruChunk) + $(frame TscDelayMicroseconds) ))
echo "== deepest chains (driver frames only, budget 24576)"
echo "   OnIpmiTransportReady > ImportIioConfigFromHob > FwSetVariable: $iio bytes"
echo "   OnIpmiTransportReady > ProbeFruRead > ReadFruData > ExchangeFruChunk > TscDelayMicroseconds: $fru bytes"
rm -rf "$su"

echo "== on the emulated board (two boots: preset reset, then the full list)"
build/Emulator/TavriRun/TavriRun --quiet | grep -E "^Boot|entry point"

echo "== under QEMU (OVMF, TCG): driver cost against the same 16 Read FRU Data commands sent straight through KCS (budget 1.2x)"
PYTHONPATH=Tests python3 -m Harness.BootOnOvmf build --work build/qemu-footprint | grep -E "[0-9]x \(|whole run"
