#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Installs what is missing, builds the driver's image and the host build, and
# OVMF from EDK2 source with the driver inside (cached outside the repo), and
# runs every test; then builds the host side again with ASan and UBSan and runs
# the host tests under them, and gives each fuzz target a bounded run. Stops
# at the first stage that fails (exit status non-zero) and ends, either way,
# with a table: each stage's result, count and time, CTest by label.
set -euo pipefail
cd "$(dirname "$0")/.."
Scripts/Setup.sh

stages=build/stages
mkdir -p "$stages"
table="$stages/table.tsv"
: > "$table"
current="" started=0 extra=""
begin() { current="$1" started=$SECONDS extra=""; : > "$(stage_log "$1")"; }
end() { printf '%s\tpassed\t%s\t%s%s\n' "$current" "${1:--}" "$((SECONDS - started))" "$extra" >> "$table"; current=""; }
finish() {
  local rc=$?
  if [ -n "$current" ]; then
    printf '%s\tFAILED\t-\t%s%s\n' "$current" "$((SECONDS - started))" "$extra" >> "$table"
  fi
  python3 Scripts/StageTable.py "$table" || true
  if [ -n "$current" ]; then
    echo "Test.sh: the stage '$current' failed; its output is in $(stage_log "$current")"
  fi
  exit "$rc"
}
trap finish EXIT
# Each stage's output is shown and kept in a log of its own.
stage_log() { printf '%s/%s.log' "$stages" "$(printf '%s' "$1" | tr -c 'A-Za-z0-9.\n-' '-')"; }
logged() { "$@" 2>&1 | tee -a "$(stage_log "$current")"; }
# A CTest stage: its output is shown and kept; the table splits it by label.
run_ctest() {
  local dir="$1"; shift
  extra="$(printf '\t%s\t%s' "$dir" "$(stage_log "$current")")"
  logged ctest --test-dir "$dir" --output-on-failure "$@"
}

begin build
logged cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
logged cmake --build build -j"$(nproc)"
end "$(ls build/*.efi 2>/dev/null | wc -l) images"

begin firmware
logged Scripts/BuildFirmware.sh build
end "$(ls build/firmware-*/*.fd 2>/dev/null | wc -l) images, $(ls -d build/firmware-*/ 2>/dev/null | wc -l) EDK2 versions"

begin CTest
run_ctest build "$@"
end

begin "static analysis"
logged Scripts/Analyse.sh
end "$(sed -n 's/.* on \([0-9]*\) .*/\1 files/p' "$(stage_log "static analysis")")"

begin "sanitizers: build"
logged cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVRI_SANITIZE=ON -DTAVRI_BUILD_EFI=OFF
logged cmake --build build-sanitize -j"$(nproc)"
end
begin "sanitizers: CTest"
run_ctest build-sanitize -L host "$@"
end

# Bounded fuzz runs (libFuzzer with ASan and UBSan).
begin "fuzzing: build"
logged cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRI_FUZZ=ON -DTAVRI_BUILD_EFI=OFF
logged cmake --build build-fuzz -j"$(nproc)" --target FruTransferFuzz SetupInputsFuzz FruFormatFuzz FruJsonFuzz
end "4 targets"
begin "fuzzing: CTest"
run_ctest build-fuzz -L fuzz "$@"
end
