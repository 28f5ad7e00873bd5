#!/usr/bin/env bash
# Runs each fuzz target for many inputs (10,000,000 unless given) on one core
# and prints its figures: inputs, CPU time, inputs per CPU second, and the
# resident memory when the seed corpus is loaded, at 1,048,576 inputs and at
# the end. Not part of the test command; it takes about half an hour.
#
#   Scripts/FuzzLong.sh [INPUTS]
#
# ASan's quarantine of freed memory is held to 16 MiB, so that what the
# resident memory shows is the targets' own use, not the quarantine filling.
# SPDX-License-Identifier: BSD-2-Clause-Patent
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-10000000}"

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRI_FUZZ=ON -DTAVRI_BUILD_EFI=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target FruTransferFuzz SetupInputsFuzz >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

run_target() {
  local name="$1" maxlen="$2"; shift 2
  local log="$work/$name.log" found="$work/$name"
  mkdir -p "$found"
  local TIMEFORMAT="%U %S"
  local cpu
  cpu=$( { time "build-fuzz/Tests/$name" -runs="$runs" -max_len="$maxlen" -seed=1 -print_final_stats=1 "$@" \
             "$found" "Tests/Fuzz/Corpus/${name%Fuzz}" >"$log" 2>&1; } 2>&1 ) || {
    echo "$name: failed; the end of its log:"; tail -30 "$log"; return 1; }
  local done start mid peak
  done=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  start=$(sed -n 's/.*INITED.* rss: \([0-9]*\)Mb.*/\1/p' "$log" | head -1)
  mid=$(sed -n 's/^#1048576\t*pulse.* rss: \([0-9]*\)Mb.*/\1/p' "$log" | head -1)
  peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
  awk -v n="$name" -v d="$done" -v c="$cpu" -v s="$start" -v m="${mid:-?}" -v p="$peak" 'BEGIN {
    split(c, t, " "); secs = t[1] + t[2];
    printf "%s: %d inputs in %.0f s of CPU, %.0f inputs/s on one core; RSS %s MB with the corpus loaded, %s MB at 1,048,576 inputs, %s MB at the end\n",
           n, d, secs, d / secs, s, m, p }'
}

run_target FruTransferFuzz 512
run_target SetupInputsFuzz 16394 -timeout=10
