#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Busy replies through the fault link on OVMF, with the IPMI_TRANSPORT2 face
of the KCS transport in the flash (--image transport2,
OVMF_CODE.transport2.fd) or EDK2's own IPMI stack with the bridge
(--image ipmi-protocol, OVMF_CODE.ipmi-protocol.fd).

The whole firmware cycle of BootFirmware (seed, preset reset, report) runs
against OpenIPMI's ipmi_sim behind the fault link. On its report run the boot
option, PlatformCheckApp, runs the FRU operations handed to it over fw_cfg
after its own 256-byte read. The link answers busy (0x81) once to:

  - the second 16-byte chunk of a 32-byte read at 0x200,
  - the first chunk of a 32-byte write at 0x300,

then the app reads 0x200 again and writes 16 bytes at 0x320, unfaulted. The
faults are placed by offset: the driver's own probe (256 bytes at offset 0, in
boots 1 and 3) and the app's 256-byte read never reach 0x100, so no rule can
fire on them, and the test checks that none did.

The IPMI_TRANSPORT2 face returns EFI_DEVICE_ERROR for any non-zero
completion code, so each busy transfer must end at once with
EFI_DEVICE_ERROR and count 0, and the link must see exactly one request for
the busy chunk (no resend, unlike the driver's own transport, which waits
busy replies out).

Through IPMI_PROTOCOL and the bridge, busy reaches TavriDxe as busy, and it
waits it out as over its own transport: the read's busy chunk is sent again
and the read completes; the write, answered busy four times, ends with
EFI_TIMEOUT and count 0 after four sends, as over the KCS transport.

Either way ipmitool must read the device as the writes the BMC accepted leave
it (nothing of the busy write), and the rest of the boot must go on: the
later operations succeed, the CMOS marker, the IIO import and every other
check of the normal cycle hold, and the app finishes.

Usage: python3 -m Harness.FirmwareFruBusy BUILD_DIR [--image IMAGE] [--firmware DIR] [--work DIR]
"""

import argparse
import os
import sys
import tempfile

from . import BootFirmware as BF
from . import Fru
from . import FruFaults as FF
from . import OpenIpmi as OI
from . import Qemu as Q
from . import Words as W

BUSY = {"times": 1, "fault": "cc", "cc": 0x81}
AFTER = [
    FF.S("the same read again, no fault", "read", 0x200, 32, FF.EFI_SUCCESS, 32, {0x200: 1, 0x210: 1}),
    FF.S("a write after the busy one, no fault", "write", 0x320, 16, FF.EFI_SUCCESS, 16, {0x320: 1}, written=16),
]
# Per image: the scenarios, the Read FRU Data / Write FRU Data commands they
# send, and the faulted requests the link must see.
PLANS = {
    "transport2": ([
        FF.S("busy on the second chunk, read", "read", 0x200, 32, FF.EFI_DEVICE_ERROR, 0,
             {0x200: 1, 0x210: 1}, [dict(BUSY, lo=0x210)]),
        FF.S("busy on the first chunk, write", "write", 0x300, 32, FF.EFI_DEVICE_ERROR, 0,
             {0x300: 1}, [dict(BUSY, lo=0x300)], written=0),
    ] + AFTER, 2 + 1 + 2 + 1, [("read", 0x210), ("write", 0x300)]),
    "ipmi-protocol": ([
        FF.S("busy once on the second chunk, read", "read", 0x200, 32, FF.EFI_SUCCESS, 32,
             {0x200: 1, 0x210: 2}, [dict(BUSY, lo=0x210)]),
        FF.S("busy 4 times, write", "write", 0x300, 16, FF.EFI_TIMEOUT, 0,
             {0x300: 4}, [dict(BUSY, lo=0x300, times=4)], written=0),
    ] + AFTER, 3 + 4 + 2 + 1, [("read", 0x210)] + [("write", 0x300)] * 4),
}
# No rule reaches below this offset: the probe and the app's own read.
FAULT_FLOOR = 0x100


def run(build, work, image, timeout, firmware="firmware"):
    """Boot the image with ipmi_sim behind the fault link; the link, ipmi_sim
    and QEMU are stopped on every way out."""
    scenarios = [dict(s) for s in PLANS[image][0]]
    ops_path = os.path.join(work, "fru-ops.txt")
    with open(ops_path, "w") as f:
        f.write(FF.ops_text(scenarios))
    fru = Fru.write_fru(os.path.join(work, "fru-bmc.bin"), OI.board_fru())
    problems = []
    OI.exit_on_signals()
    with OI.IpmiSim(work, fru) as sim:
        with FF.LinkProcess(work, sim, [r for s in scenarios for r in s["rules"]]) as link:
            result = BF.run(build, work, image, timeout, bmc=Q.extern_bmc_args(link.port),
                            extra=Q.fw_cfg_args(FF.FRU_OPS_NAME, ops_path), firmware=firmware)
        problems += link.errors
        witness = sim.read_fru()
        fru_print = sim.fru_print()
    problems += ["still running after the test: %s" % cmd for _, cmd in OI.leftovers(work)]
    return result, scenarios, link.log(), witness, fru_print, problems


def check_link(c, log, image, fru):
    """The faults fired where scripted and nowhere else."""
    reqs = [e for e in log if e["ev"] == "req"]
    faulted = [(e.get("kind"), e.get("off")) for e in reqs if e["fault"]]
    expected = PLANS[image][2]
    c.want(faulted == expected, "the link's faults fired on %s, expected %s" % (faulted, expected),
           "the link answered busy to %s only" % ", ".join("the %s at 0x%03X" % f for f in expected))
    low = [e for e in reqs if e.get("kind") == "read" and e["off"] < FAULT_FLOOR]
    smbios = BF.smbios_commands(image, fru)
    also = ", FruSmbiosDxe's %d in boots 1 and 3" % smbios if smbios else ""
    c.want(len(low) == 3 * 16 + 2 * smbios and not any(e["fault"] for e in low),
           "%d FRU reads below 0x%X (expected %d: the probe in boots 1 and 3, the app's read%s), %d faulted"
           % (len(low), FAULT_FLOOR, 3 * 16 + 2 * smbios, also, sum(1 for e in low if e["fault"])),
           "the probe in boots 1 and 3, the app's 256-byte read%s passed the link untouched (%d reads below 0x100)"
           % (also, len(low)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--image", choices=sorted(PLANS), default="transport2")
    BF.add_firmware_argument(parser)
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=300)
    args = parser.parse_args()
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tavri-firmware-busy-"))
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    image = args.image
    result, scenarios, log, witness, fru_print, problems = run(build, work, image, args.timeout, args.firmware)

    c = BF.check_normal(result, image, app_ops_commands=PLANS[image][1])
    BF.check_integration(c, result, build, image, args.firmware)
    for p in problems:
        c.want(False, p)
    check_link(c, log, image, result.fru)
    ops = FF.parse_ops(result.text("report"))
    slices = FF.split_log(log, scenarios)
    print("OVMF with %s in the flash, ipmi_sim behind the fault link: %.1f s for the whole run, %d link events"
          % (BF.TRANSPORTS[image], result.elapsed, len(log)))
    for k, s in enumerate(scenarios):
        found = FF.check_scenario(k, s, ops.get(k + 1), slices[k], result.fru, witness)
        op = ops.get(k + 1, {"fields": {}})
        print("  %d %-40s %-18s count=%-3s requests=%s %s" % (
            k + 1, s["name"], W.status_name(int(op["fields"].get("status", "0"), 16)), op["fields"].get("count", "?"),
            ",".join("0x%03X" % e["off"] for e in slices[k] if e.get("kind") == s["kind"]), "ok" if not found else "FAILED"))
        c.want(not found, "%s: %s" % (s["name"], "; ".join(found)),
               "%s: %s, count %s, as the link and ipmitool show" % (s["name"], W.status_name(s["status"]), s["count"]))
    expected = FF.replay(result.fru, log)
    c.want(witness == expected,
           "ipmitool reads %d bytes that differ from the writes the BMC accepted"
           % sum(1 for a, b in zip(witness, expected) if a != b),
           "ipmitool reads the device as the accepted writes leave it: nothing of the busy write")
    print("\n  ipmitool fru print 0 afterwards:")
    print("\n".join("    " + l for l in fru_print.strip("\n").splitlines()))
    print()
    BF.print_report(build, result, image)

    def dump():
        result.failure_dump()
        print("--- DEBUG log, last lines (all of it in %s) ---" % os.path.join(work, "debug.bin"))
        print("\n".join(result.text("debug").splitlines()[-60:]))

    if image == "transport2":
        message = ("All checks passed: each busy reply ended its transfer with EFI_DEVICE_ERROR and count 0,"
                   " with no resend and nothing written, and the rest of the boot went on.")
    else:
        message = ("All checks passed: one busy reply waited out and the read completed; four ended the write with"
                   " EFI_TIMEOUT and count 0, nothing written; the rest of the boot went on.")
    return c.finish(result, message, dump)


if __name__ == "__main__":
    sys.exit(main())
