#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Boots TavriDxe on real UEFI firmware: Debian's OVMF in QEMU's q35 machine,
with a BMC on KCS serving a FRU file: QEMU's simulated BMC, or with
--bmc openipmi OpenIPMI's simulator (ipmi_sim) behind QEMU's ipmi-bmc-extern,
with ipmitool as the witness of what its FRU device holds afterwards.

The test boot app (BOOTX64.EFI on a FAT ESP) plays the platform; it reports
on debug port 0xE9. Ports 0x72 and 0x73 are captured to files, since QEMU has
no extended CMOS there, and QEMU traces the writes to the KCS interface and
the reset control register. This runs QEMU with a time limit, prints what
the driver did boot by boot, and fails loudly with the console log when
anything is off.

With --app BootAppTransport2.efi the app loads the IPMI_TRANSPORT2 face of
the KCS transport (KcsIpmiDxeTransport2) instead of KcsIpmiDxe; the debug port
0x402, where that transport reports a refused call, must stay free of it.

Usage: python3 -m Harness.BootOnOvmf BUILD_DIR [--work DIR] [--bmc qemu|openipmi] [--app NAME]
"""

import argparse
import os
import re
import shutil
import sys
import tempfile

from . import Collect as C
from . import Fru
from . import OpenIpmi as OI
from . import Qemu as Q
from . import Words as W


def run_qemu(build, work, timeout, fru_image, bmc_args, extra_args=(), app="BootApp.efi", captures=None):
    """Boot the app (both boots) with the given BMC arguments; the FRU image
    is what the BMC was given, for the checks."""
    esp = os.path.join(work, "esp")
    os.makedirs(os.path.join(esp, "EFI", "BOOT"), exist_ok=True)
    shutil.copy(os.path.join(build, app), os.path.join(esp, "EFI", "BOOT", "BOOTX64.EFI"))
    shutil.copy(os.path.join(build, "TavriDxe.efi"), os.path.join(esp, "TavriDxe.efi"))
    result = Q.boot(work, timeout, bmc_args, esp=esp,
                    captures=dict(Q.CAPTURE_REPORT, **Q.CAPTURE_CMOS, **(captures or {})), extra=extra_args)
    result.fru = fru_image
    return result


def fru_dump(report):
    return C.parse(report)["fru_bytes"]


def check(result):
    """Checks of the two-boot cycle; each passed check leaves a closing line."""
    c = C.Checks()
    report = result.text("report")
    boots = C.split_report(report, "boot ")
    boot1 = boots[0] if boots else ""
    boot2 = boots[1] if len(boots) > 1 else ""
    c.want(result.rc == 0, "QEMU exit status %r (%s)" % (result.rc, result.qemu.strip()[-200:]),
           "QEMU ended by the guest's shutdown")
    c.want(len(boots) == 2, "expected two boots, saw %d" % len(boots), "two boots, as the preset cycle needs")
    # Boot 1 seeds the preset out of force; the driver stores it and resets
    # before the KCS driver's start returns, so boot 1 never reports kcs-start.
    c.want("seed pm=0 iio=0" in boot1, "boot 1 did not seed both variables", "boot 1 seeded both setup variables")
    c.want("kcs-start" not in boot1, "boot 1 was not ended by the driver's reset",
           "boot 1 ended inside the transport's start, by the driver's reset")
    traced = result.boots_by_reset_register()
    if traced:
        c.want(traced[0]["reset"] == 0x0E and traced[0]["reset_before_kcs"],
               "boot 1: no 0x0E to 0xCF9 before the first KCS write (%r)" % traced[0]["reset_writes"],
               "boot 1: 0xCF9 <- 0x0E before any KCS write")
    c.want("kcs-start=0" in boot2, "boot 2 did not start the KCS transport", "boot 2 started the KCS transport")
    c.want("in-force=9/9" in boot2, "boot 2 did not find the preset in force", "boot 2 found preset 1 in force (9 of 9)")
    c.want("TAVRI iio status=0 size=22247 copied=144/144 switch=1" in boot2, "SocketIioConfig does not hold the HOB's bytes",
           "SocketIioConfig holds the 144 bytes of the IIO source HOB")
    c.want("TAVRI fru-protocol status=0" in boot2, "the FRU access protocol is not installed",
           "the FRU access protocol is installed")
    c.want(re.search(r"TAVRI fru-read status=0 count=256", boot2) is not None, "FRU read through the protocol failed",
           "ReadFruData returned 256 bytes")
    dump = fru_dump(boot2)
    c.want(dump == result.fru[:256], "FRU bytes differ from the FRU file given to the BMC",
           "the 256 bytes read are the BMC's FRU file")
    c.want("fru-write status=0 count=20 readback=0 matching=20/20" in boot2, "a FRU write did not read back",
           "a 20-byte FRU write reads back")
    c.want("fru-write-past-end status=error:2 count=17" in boot2,
           "a write past 0xFFFF was not refused with its count untouched",
           "a write past 0xFFFF is refused with EFI_INVALID_PARAMETER, count untouched")
    c.want(result.data("p72") == b"\x81\x81\x81", "port 0x72 saw %r, expected 0x81 three times" % result.data("p72"),
           "CMOS marker: port 0x72 <- 0x81 three times")
    c.want(result.data("p73") == b"\x55", "port 0x73 saw %r, expected 0x55 once" % result.data("p73"),
           "CMOS marker: port 0x73 <- 0x55 once")
    c.want("TAVRI done" in boot2, "the boot app did not finish", "the boot app finished")
    return c


def tsc_rate(parsed):
    t = parsed["kinds"].get("tsc")
    return int(t["ticks"]) * 1e6 / int(t["stall-us"]) if t else None


def boot_story(number, boot, traced, tsc_hz, after_reset=False):
    """What one boot did, in words: the report's lines, and what the trace
    saw at the ports (IPMI commands, CMOS writes, the reset and its cause)."""
    parsed = C.parse(boot)
    head = parsed["kinds"].get("boot", {})
    print("\nBoot %d (UEFI %s firmware%s):" % (number, W.revision(head.get("firmware-revision")),
                                            ", %.1f s" % traced["seconds"] if traced else ""))
    for body in parsed["lines"][1:]:
        sentence = W.say(body, tsc_hz)
        if sentence is not None:
            if body.startswith("pm ") and after_reset and "in-force=9/9" in body:
                sentence += ": the value the driver stored before the previous boot's reset"
            print("  " + sentence + ".")
        if body.startswith("fru-read") and parsed["fru_bytes"]:
            yield parsed["fru_bytes"]
    if traced is None:
        return
    print("  At the ports: %d IPMI commands on KCS; CMOS %s." % (
        traced["ipmi_commands"],
        " ".join("0x%02X<-0x%02X" % w for w in traced["cmos"]) if traced["cmos"] else "not written"))
    if traced["reset"] == 0x0E:
        print("  The boot ended with 0x0E written to 0xCF9%s: the driver's preset reset, made when it finds the "
              "selected preset not in force and has stored it%s." %
              (" before any KCS write" if traced["reset_before_kcs"] else "",
               "" if "kcs-start" in parsed["kinds"] else "; the transport's start never returned to the app"))
    elif traced["reset"] is not None:
        print("  The boot ended with 0x%02X written to 0xCF9 (%s)." % (traced["reset"], C.RESETS.get(traced["reset"], "a reset")))
    else:
        print("  No reset: the boot ran to its end (the app shuts the machine down).")


def print_report(build, result, bmc="QEMU's BMC"):
    print("TavriDxe on OVMF (QEMU q35) with %s on KCS: %.1f s for the whole run" % (bmc, result.elapsed))
    report = result.text("report")
    boots = C.split_report(report, "boot ")
    traced = result.boots_by_reset_register()
    if len(traced) != len(boots):
        traced = [None] * len(boots)
    for n, boot in enumerate(boots):
        parsed = C.parse(boot)
        tsc_hz = tsc_rate(parsed)
        after_reset = n > 0 and traced[n - 1] is not None and traced[n - 1]["reset"] == 0x0E
        for data in boot_story(n + 1, boot, traced[n], tsc_hz, after_reset):
            lines, _ = W.fru_lines(build, result.work, data, "  FRU device 0 as read through the protocol", "  ")
            print("\n".join(lines))
        fru = parsed["kinds"].get("fru-read", {}).get("tsc")
        raw = parsed["kinds"].get("raw-kcs-16", {}).get("tsc")
        hooks = parsed["kinds"].get("kcs-start", {}).get("hooks-tsc")
        if fru and raw:
            print("  ReadFruData of 256 bytes vs the same 16 commands straight through KCS: %.2fx (%s vs %s)"
                  % (int(fru) / int(raw), W.us(int(fru), tsc_hz), W.us(int(raw), tsc_hz)))
        if hooks and raw:
            print("  All five IPMI-ready hooks (with both variable stores) vs those 16 commands: %.2fx (%s vs %s)"
                  % (int(hooks) / int(raw), W.us(int(hooks), tsc_hz), W.us(int(raw), tsc_hz)))
    print("\nPort 0x72 writes over the run: %s; port 0x73: %s" % (
        " ".join("%02X" % b for b in result.data("p72")) or "none", " ".join("%02X" % b for b in result.data("p73")) or "none"))


def witness_standard_write(sim, image):
    """After the boot app's standard run: ipmitool must read the BMC's FRU
    image with exactly the 20 bytes the driver reported written at 0x100."""
    expected = bytearray(image)
    expected[0x100:0x114] = bytes(0xA0 + i for i in range(20))
    seen = sim.read_fru()
    changed = [i for i in range(len(image)) if seen[i] != expected[i]]
    if changed:
        return ["ipmitool reads %d bytes that differ from the FRU file plus the reported write, first at 0x%03X"
                % (len(changed), changed[0])]
    return []


def run_openipmi(build, work, timeout):
    """Boot against ipmi_sim; returns the result, the witness's findings and
    ipmitool's fru print. ipmi_sim is stopped on every path."""
    image = Fru.board_fru()
    OI.exit_on_signals()
    with OI.IpmiSim(work, Fru.write_fru(os.path.join(work, "fru0.bin"), image)) as sim:
        result = run_qemu(build, work, timeout, image, Q.extern_bmc_args(sim.vm_port))
        problems = witness_standard_write(sim, image)
        fru_print = sim.fru_print()
    problems += ["still running after the test: %s" % cmd for _, cmd in OI.leftovers(work)]
    return result, problems, fru_print


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=240)
    parser.add_argument("--bmc", choices=("qemu", "openipmi"), default="qemu")
    parser.add_argument("--app", default="BootApp.efi")
    args = parser.parse_args()
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tavri-qemu-"))
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    extra, fru_print = [], None
    if args.bmc == "qemu":
        image = Fru.board_fru()
        fru = Fru.write_fru(os.path.join(work, "fru0.bin"), image)
        result = run_qemu(build, work, args.timeout, image, Q.qemu_bmc_args(fru), app=args.app, captures=Q.CAPTURE_DEBUG)
        debug = result.text("debug")
        if "refused" in debug:
            extra.append("the transport refused a call: " + debug.strip()[-300:])
    else:
        result, extra, fru_print = run_openipmi(build, work, args.timeout)
    c = check(result)
    for p in extra:
        c.want(False, p)
    if args.bmc == "openipmi":
        c.want(not extra, "", "ipmitool reads exactly the FRU file plus the 20 bytes written; nothing left running")
    print_report(build, result, "QEMU's BMC" if args.bmc == "qemu" else "OpenIPMI's ipmi_sim")
    if fru_print is not None:
        print("\nipmitool fru print 0 (over ipmi_sim's LAN interface, after the boot):")
        print("\n".join("  " + l for l in fru_print.strip("\n").splitlines()))
    return c.finish(result, "All checks passed.")


if __name__ == "__main__":
    sys.exit(main())
