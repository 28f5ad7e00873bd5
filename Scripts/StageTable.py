#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The table Scripts/Test.sh ends with: one row per stage (result, count,
seconds), the CTest stages split by label from CTest's own output and its
list of tests with their labels.

Usage: StageTable.py STAGES.tsv
  STAGES.tsv: one stage a line, tab-separated: name, result, count, seconds,
  and for a CTest stage the build directory and the log of its output.
"""

import json
import re
import subprocess
import sys

ORDER = ["build", "firmware", "CTest", "static analysis", "sanitizers: build", "sanitizers: CTest",
         "fuzzing: build", "fuzzing: CTest"]


def labels(build):
    """{test name: [labels]} as CTest lists them."""
    try:
        out = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=120, check=True).stdout
        tests = json.loads(out)["tests"]
    except (subprocess.SubprocessError, ValueError, KeyError, OSError):
        return {}
    found = {}
    for test in tests:
        props = {p["name"]: p["value"] for p in test.get("properties", [])}
        found[test["name"]] = props.get("LABELS", ["(no label)"])
    return found


def results(log):
    """{test name: (passed, seconds)} from CTest's output."""
    found = {}
    line = re.compile(r"Test +#\d+: (\S+) \.+\**\s*(Passed|\w.*?)\s+([\d.]+) sec")
    try:
        with open(log, errors="replace") as f:
            for text in f:
                m = line.search(text)
                if m:
                    found[m.group(1)] = (m.group(2) == "Passed", float(m.group(3)))
    except OSError:
        pass
    return found


def ctest_rows(name, result, seconds, build, log):
    """One row per label of the tests CTest ran; the stage's own row when it
    ran none (e.g. it stopped before)."""
    ran, by_label = results(log), {}
    for test, test_labels in labels(build).items():
        if test in ran:
            for label in test_labels:
                by_label.setdefault(label, []).append(ran[test])
    total = sum(1 for ok, _ in ran.values() if ok)
    rows = [(name + " (wall time)", result, "%d/%d" % (total, len(ran)) if ran else "-", seconds)]
    for label in sorted(by_label):
        tests = by_label[label]
        passed = sum(1 for ok, _ in tests if ok)
        rows.append(("%s -L %s" % (name, label), "passed" if passed == len(tests) else "FAILED",
                     "%d/%d" % (passed, len(tests)), sum(t for _, t in tests)))
    return rows


def main():
    rows, seen = [], set()
    with open(sys.argv[1]) as f:
        for text in f:
            cols = text.rstrip("\n").split("\t")
            if len(cols) < 4:
                continue
            name, result, count, seconds = cols[0], cols[1], cols[2], float(cols[3])
            seen.add(name)
            if len(cols) >= 6:
                rows += ctest_rows(name, result, seconds, cols[4], cols[5])
            else:
                rows.append((name, result, count, seconds))
    rows += [(name, "not run", "-", None) for name in ORDER if name not in seen]
    print("\nStage                         Result    Count      Time")
    for name, result, count, seconds in rows:
        print("%-29s %-9s %-9s %6s" % (name, result, count, "-" if seconds is None else "%d s" % round(seconds)))
    print("(CTest rows: tests passed/run with that label, their summed time; a test with two labels is in both.)")


if __name__ == "__main__":
    main()
