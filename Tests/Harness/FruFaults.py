#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""FRU reads and writes over the real KCS path against OpenIPMI's ipmi_sim,
with faults injected on the wire by the fault link (FaultLink.py) and
ipmitool as the witness of what the FRU device holds afterwards.

One QEMU run (the usual two boots) carries every scenario: the boot app runs
the list of FRU operations handed to it over fw_cfg, each at an offset of its
own, and the link is scripted by offset. For each operation the test checks
the status and count the driver returned, how many requests the link saw at
each offset, the bytes read, and, through ipmitool, that the device holds
exactly what the BMC accepted: every byte reported written, no byte outside
the requests changed. It prints the gaps the link saw between a busy reply
and the resend.

Usage: python3 -m Harness.FruFaults BUILD_DIR [--work DIR]
"""

import argparse
import json
import os
import select
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from . import BootOnOvmf as B
from . import Fru
from . import OpenIpmi as OI
from . import Qemu as Q
from . import Words as W

EFI_SUCCESS = 0
EFI_DEVICE_ERROR = 0x8000000000000007
EFI_WRITE_PROTECTED = 0x8000000000000008
EFI_TIMEOUT = 0x8000000000000012
FRU_OPS_NAME = "opt/tavri/fru-ops"


def op_data(seed, count):
    """The bytes the boot app writes for a write operation with this seed."""
    return bytes((seed + 7 * i) & 0xFF for i in range(count))


def S(name, kind, off, n, status, count, sends=None, rules=(), dev=0, written=None):
    """A scenario: one FRU operation of the boot app, the link's rules for it,
    the status and count the driver must return, the requests the link must
    see per offset, and for a write how many leading bytes the device must
    hold afterwards (the rest of the range unchanged)."""
    return {"name": name, "kind": kind, "dev": dev, "off": off, "n": n, "status": status, "count": count,
            "sends": sends, "rules": [dict(r, cmd=kind, dev=dev) for r in rules], "written": written}


SCENARIOS = [
    S("busy 3 times per chunk, read", "read", 0x200, 64, EFI_SUCCESS, 64,
      {0x200: 4, 0x210: 4, 0x220: 4, 0x230: 4}, [{"lo": 0x200, "hi": 0x240, "times": 3, "fault": "cc", "cc": 0x81}]),
    S("busy 4 times, read", "read", 0x240, 16, EFI_TIMEOUT, 0, {0x240: 4},
      [{"lo": 0x240, "times": 4, "fault": "cc", "cc": 0x81}]),
    S("busy 3 times per chunk, write", "write", 0x250, 32, EFI_SUCCESS, 32, {0x250: 4, 0x260: 4},
      [{"lo": 0x250, "hi": 0x270, "times": 3, "fault": "cc", "cc": 0x81}], written=32),
    S("busy 4 times, write", "write", 0x270, 16, EFI_TIMEOUT, 0, {0x270: 4},
      [{"lo": 0x270, "times": 4, "fault": "cc", "cc": 0x81}], written=0),
    S("completion code 0xC9 on the second chunk, read", "read", 0x280, 32, EFI_DEVICE_ERROR, 0,
      {0x280: 1, 0x290: 1}, [{"lo": 0x290, "fault": "cc", "cc": 0xC9}]),
    S("completion code 0xD5 on the second chunk, write", "write", 0x2A0, 32, EFI_DEVICE_ERROR, 0,
      {0x2A0: 1, 0x2B0: 1}, [{"lo": 0x2B0, "fault": "cc", "cc": 0xD5}], written=16),
    S("write-protected (0x80) at the third chunk", "write", 0x2C0, 48, EFI_WRITE_PROTECTED, 0,
      {0x2C0: 1, 0x2D0: 1, 0x2E0: 1}, [{"lo": 0x2E0, "fault": "cc", "cc": 0x80}], written=32),
    S("0x80 on a read is a refusal", "read", 0x2F0, 16, EFI_DEVICE_ERROR, 0, {0x2F0: 1},
      [{"lo": 0x2F0, "fault": "cc", "cc": 0x80}]),
    S("short reply (5 of 16 bytes), read", "read", 0x300, 32, EFI_SUCCESS, 32, {0x300: 1, 0x305: 1, 0x315: 1},
      [{"lo": 0x300, "fault": "short", "keep": 5}]),
    S("short reply (5 of 16 bytes), write", "write", 0x320, 32, EFI_SUCCESS, 32, {0x320: 1, 0x325: 1, 0x335: 1},
      [{"lo": 0x320, "fault": "short", "keep": 5}], written=32),
    S("count byte 0x30 with 0x30 bytes for a 16-byte chunk, read", "read", 0x340, 32, EFI_SUCCESS, 32,
      {0x340: 1, 0x350: 1}, [{"lo": 0x340, "fault": "count", "count": 0x30, "carry": 0x30}]),
    S("count byte 0xFF for a 16-byte chunk, write", "write", 0x360, 32, EFI_SUCCESS, 32, {0x360: 1, 0x370: 1},
      [{"lo": 0x360, "fault": "count", "count": 0xFF}], written=32),
    S("count byte 16 with only 6 bytes carried, read", "read", 0x380, 32, EFI_SUCCESS, 32,
      {0x380: 1, 0x386: 1, 0x396: 1}, [{"lo": 0x380, "fault": "count", "count": 16, "carry": 6}]),
    S("count byte 16 with no data carried moves nothing, read", "read", 0x1C0, 16, EFI_SUCCESS, 16, {0x1C0: 2},
      [{"lo": 0x1C0, "fault": "count", "count": 16, "carry": 0}]),
    S("no progress 3 times, then data, read", "read", 0x3A0, 16, EFI_SUCCESS, 16, {0x3A0: 4},
      [{"lo": 0x3A0, "times": 3, "fault": "zero"}]),
    S("no progress 4 times, read", "read", 0x3B0, 16, EFI_DEVICE_ERROR, 0, {0x3B0: 4},
      [{"lo": 0x3B0, "times": 4, "fault": "zero"}]),
    S("no progress 4 times, write", "write", 0x3C0, 16, EFI_DEVICE_ERROR, 0, {0x3C0: 4},
      [{"lo": 0x3C0, "times": 4, "fault": "zero"}], written=0),
    #
    # After a dropped response QEMU answers 0xC3 itself 4 s later; its link to
    # the BMC can be down for up to its 10 s reconnect interval after that, so
    # the next scenario waits until the BMC answers again.
    #
    S("response dropped, read", "read", 0x3D0, 16, EFI_DEVICE_ERROR, 0, {0x3D0: 1},
      [{"lo": 0x3D0, "fault": "drop"}]),
    S("the BMC is back", "wait-bmc", 0, 0, EFI_SUCCESS, None),
    S("response dropped after the BMC wrote, write", "write", 0x3E0, 16, EFI_DEVICE_ERROR, 0, {0x3E0: 1},
      [{"lo": 0x3E0, "fault": "drop"}], written=16),
    S("the BMC is back", "wait-bmc", 0, 0, EFI_SUCCESS, None),
    S("ipmi_sim: read across the end of the device", "read", 0x3F8, 16, EFI_DEVICE_ERROR, 0, {0x3F8: 1, 0x400: 1}),
    S("ipmi_sim: unknown FRU device 1", "read", 0x000, 16, EFI_DEVICE_ERROR, 0, {0x000: 1}, dev=1),
    S("ipmi_sim: write across the end of the device", "write", 0x3F8, 16, EFI_DEVICE_ERROR, 0, {0x3F8: 1},
      written=0),
    S("BMC restart while the second chunk is read", "read", 0x140, 48, EFI_DEVICE_ERROR, 0,
      {0x140: 1, 0x150: 1}, [{"lo": 0x150, "fault": "restart"}]),
    S("the BMC is back", "wait-bmc", 0, 0, EFI_SUCCESS, None),
    S("BMC restart while the second chunk is written", "write", 0x180, 48, EFI_DEVICE_ERROR, 0,
      {0x180: 1, 0x190: 1}, [{"lo": 0x190, "fault": "restart"}], written=32),
    S("the BMC is back", "wait-bmc", 0, 0, EFI_SUCCESS, None),
    S("read back after the restart", "read", 0x180, 48, EFI_SUCCESS, 48, {0x180: 1, 0x190: 1, 0x1A0: 1}),
    S("the whole device", "read", 0x000, 1024, EFI_SUCCESS, 1024),
]


def ops_text(scenarios):
    lines = []
    for k, s in enumerate(scenarios):
        s["seed"] = (0x31 + 0x2B * k) & 0xFF
        if s["kind"] == "wait-bmc":
            lines.append("wait-bmc")
        elif s["kind"] == "read":
            lines.append("read %x %x %x" % (s["dev"], s["off"], s["n"]))
        else:
            lines.append("write %x %x %x %x" % (s["dev"], s["off"], s["n"], s["seed"]))
    return "# one line per scenario\n" + "\n".join(lines) + "\n"


class LinkProcess:
    """The fault link as a process of its own, between QEMU and ipmi_sim. A
    "restart" it prints restarts ipmi_sim. Stopped on every way out."""

    def __init__(self, work, sim, rules):
        self.sim = sim
        self.rules_path = os.path.join(work, "link-rules.json")
        self.log_path = os.path.join(work, "link-log.jsonl")
        with open(self.rules_path, "w") as f:
            json.dump(rules, f, indent=1)
        self.proc = None
        self.thread = None
        self.restarts = []
        self.errors = []

    def __enter__(self):
        here = os.path.dirname(os.path.abspath(__file__))
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(here, "FaultLink.py"), "--bmc-port", str(self.sim.vm_port),
             "--rules", self.rules_path, "--log", self.log_path],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, start_new_session=True)
        try:
            ready, _, _ = select.select([self.proc.stdout], [], [], 20)
            line = self.proc.stdout.readline().decode() if ready else ""
            if not line.startswith("listening "):
                raise RuntimeError("the fault link did not start: %r" % line)
            self.port = int(line.split()[1])
            self.thread = threading.Thread(target=self._events, daemon=True)
            self.thread.start()
        except BaseException:
            Q.stop(self.proc)
            raise
        return self

    def _events(self):
        for raw in self.proc.stdout:
            words = raw.decode().split()
            if words[:1] == ["restart"]:
                start = time.monotonic()
                try:
                    self.sim.restart()
                except Exception as e:  # reported by the test, never lost in the thread
                    self.errors.append("ipmi_sim restart failed: %s" % e)
                self.restarts.append(time.monotonic() - start)

    def __exit__(self, *exc):
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=5)
        except (subprocess.TimeoutExpired, OSError):
            pass
        Q.stop(self.proc)
        if self.thread is not None:
            self.thread.join(timeout=60)
        return False

    def log(self):
        with open(self.log_path) as f:
            return [json.loads(line) for line in f if line.strip()]


def parse_ops(report):
    """Per operation number: its report line's fields and the bytes read."""
    ops = {}
    for line in report.splitlines():
        words = line.split()
        if line.startswith("TAVRI op ") and len(words) > 3:
            fields = dict(w.split("=", 1) for w in words[4:] if "=" in w)
            ops[int(words[2])] = {"kind": words[3], "fields": fields, "data": bytearray()}
        elif line.startswith("TAVRI op-data ") and int(words[2]) in ops:
            ops[int(words[2])]["data"] += bytes(int(x, 16) for x in words[4:])
    return ops


def split_log(log, scenarios):
    """The link's requests, cut into one slice per scenario: a scenario's
    requests start with the first one at its own device and offset (for
    wait-bmc, the first Get Device ID) after the previous scenario's start."""
    reqs = [e for e in log if e["ev"] == "req"]
    starts, at = [], 0
    for s in scenarios:
        if s["kind"] == "wait-bmc":
            hit = lambda e: e["netfn"] == 0x06 and e["cmd"] == 0x01
        else:
            hit = lambda e, s=s: e.get("kind") == s["kind"] and e.get("dev") == s["dev"] and e.get("off") == s["off"]
        while at < len(reqs) and not hit(reqs[at]):
            at += 1
        starts.append(at)
        at = min(at + 1, len(reqs))
    return [reqs[a:b] for a, b in zip(starts, starts[1:] + [len(reqs)])]


def replay(image, log):
    """The FRU device as the BMC must hold it: the image with every write the
    link passed on and the BMC answered with completion code 0x00 applied."""
    device = bytearray(image)
    fwd = {e["id"]: e for e in log if e["ev"] == "fwd"}
    for e in log:
        if e["ev"] == "bmc-rsp" and e["id"] in fwd and e["cc"] == 0 and fwd[e["id"]]["dev"] == 0:
            data = bytes.fromhex(fwd[e["id"]]["data"])[:e["count"]]
            off = fwd[e["id"]]["off"]
            device[off:off + len(data)] = data
    return bytes(device)


def busy_gaps(log):
    """Seconds from each busy or no-progress reply the link sent to the resend
    that followed it."""
    gaps, last = [], None
    for e in log:
        if e["ev"] == "rsp" and e["source"] == "link" and (e["cc"] == 0x81 or (e["cc"] == 0 and e["count"] == 0)):
            last = e
        elif e["ev"] == "req" and last is not None:
            gaps.append(e["t"] - last["t"])
            last = None
    return gaps


def check_scenario(k, s, op, reqs, image, witness):
    """Problems with one scenario, as text."""
    if op is None:
        return ["no report"]
    f, problems = op["fields"], []
    status, count = int(f.get("status", "0"), 16), int(f.get("count", "-1"))
    if status != s["status"]:
        problems.append("status %s, expected %s" % (W.status_name(status), W.status_name(s["status"])))
    if s["count"] is not None and count != s["count"]:
        problems.append("count %d, expected %d" % (count, s["count"]))
    if s["kind"] == "wait-bmc":
        return problems
    if s["rules"] and not any(e["fault"] for e in reqs):
        problems.append("the link's fault never fired")
    seen = {}
    for e in reqs:
        if e.get("kind") == s["kind"]:
            seen[e["off"]] = seen.get(e["off"], 0) + 1
    if s["sends"] is not None and seen != s["sends"]:
        problems.append("requests per offset %s, expected %s" % (
            {hex(o): n for o, n in sorted(seen.items())}, {hex(o): n for o, n in sorted(s["sends"].items())}))
    if s["kind"] == "read" and s["dev"] == 0 and bytes(op["data"]) != witness[s["off"]:s["off"] + count]:
        problems.append("bytes read differ from what ipmitool reads from the device")
    if s["kind"] == "write" and s["written"] is not None:
        lo, n, w = s["off"], s["n"], s["written"]
        data = op_data(s["seed"], n)
        hi = min(lo + n, len(image))
        want = bytearray(image[lo:hi])
        want[:w] = data[:w]
        if witness[lo:hi] != bytes(want):
            problems.append("device holds %s at 0x%03X, expected %s" % (witness[lo:hi].hex(), lo, bytes(want).hex()))
    return problems


def run(build, work, timeout):
    image = OI.board_fru()
    fru = Fru.write_fru(os.path.join(work, "fru0.bin"), image)
    scenarios = [dict(s) for s in SCENARIOS]
    ops_path = os.path.join(work, "fru-ops.txt")
    with open(ops_path, "w") as f:
        f.write(ops_text(scenarios))
    rules = [r for s in scenarios for r in s["rules"]]
    problems = []
    OI.exit_on_signals()
    with OI.IpmiSim(work, fru) as sim:
        with LinkProcess(work, sim, rules) as link:
            result = B.run_qemu(build, work, timeout, image, Q.extern_bmc_args(link.port),
                                Q.fw_cfg_args(FRU_OPS_NAME, ops_path))
        problems += link.errors
        witness = sim.read_fru()
        fru_print = sim.fru_print()
        starts = sim.starts
    problems += ["still running after the test: %s" % cmd for _, cmd in OI.leftovers(work)]
    return result, scenarios, link, witness, fru_print, starts, problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=300)
    args = parser.parse_args()
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tavri-faults-"))
    os.makedirs(work, exist_ok=True)
    result, scenarios, link, witness, fru_print, starts, problems = run(os.path.abspath(args.build), work, args.timeout)

    problems += ["boot: " + p for p in B.check(result).problems]
    log = link.log()
    ops = parse_ops(result.text("report"))
    slices = split_log(log, scenarios)
    print("TavriDxe on OVMF with ipmi_sim behind the fault link: %.1f s, %d link events, ipmi_sim started %d times"
          % (result.elapsed, len(log), starts))
    for k, s in enumerate(scenarios):
        found = check_scenario(k, s, ops.get(k + 1), slices[k], result.fru, witness)
        op = ops.get(k + 1, {"fields": {}})
        status = int(op["fields"].get("status", "0"), 16)
        print("  %-2d %-58s %-20s count=%-5s requests=%-3d %s" % (
            k + 1, s["name"], W.status_name(status), op["fields"].get("count", "?"),
            len(slices[k]), "ok" if not found else "FAILED"))
        problems += ["%s: %s" % (s["name"], p) for p in found]
        if s["kind"] == "wait-bmc":
            f = op["fields"]
            print("     the BMC answered after %s Get Device ID tries; the first got status %s, completion code %s"
                  % (f.get("tries"), W.status_name(f.get("first-status")), f.get("first-code")))

    expected = replay(result.fru, log)
    if witness != expected:
        diff = [i for i in range(len(witness)) if witness[i] != expected[i]]
        problems.append("ipmitool reads %d bytes that differ from the writes the BMC accepted, first at 0x%03X"
                        % (len(diff), diff[0]))
    gaps = busy_gaps(log)
    if gaps:
        print("  gaps from a busy or no-progress reply to the resend, on the link: min %.2f ms, median %.2f ms, "
              "max %.2f ms over %d resends" % (1e3 * min(gaps), 1e3 * statistics.median(gaps), 1e3 * max(gaps), len(gaps)))
    drops = [(e, next((x for x in log if x["ev"] == "req" and x["t"] > e["t"]), None))
             for e in log if e["ev"] == "req" and e["fault"] == "drop"]
    for req, nxt in drops:
        if nxt is not None:
            print("  dropped response at 0x%03X: next request %.2f s later" % (req["off"], nxt["t"] - req["t"]))
    whole = slices[-1]
    if len(whole) > 1:
        span = whole[-1]["t"] - whole[0]["t"]
        print("  the whole-device read: %d Read FRU Data commands in %.1f ms on the link (%.2f ms each)"
              % (len(whole), 1e3 * span, 1e3 * span / (len(whole) - 1)))
    if link.restarts:
        print("  ipmi_sim restarted in %.2f s" % link.restarts[0])
    print("  ipmitool reads the device as the link's record of accepted writes says: %s"
          % ("yes" if witness == expected else "NO"))
    print("\n  ipmitool fru print 0 afterwards:")
    print("\n".join("    " + l for l in fru_print.strip("\n").splitlines()))
    if problems:
        print("\nFAILED:")
        for p in problems:
            print("  - " + p)
        print("\n--- debug report (port 0xE9) ---\n" + result.text("report")[-12000:])
        print("--- console (serial) ---\n" + result.console[-3000:])
        return 1
    print("\nAll %d scenarios passed; the two-boot checks passed; nothing still running." % len(scenarios))
    return 0


if __name__ == "__main__":
    sys.exit(main())
