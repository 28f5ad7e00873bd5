#!/usr/bin/env python3
"""Boots TavriDxe on real UEFI firmware: Debian's OVMF in QEMU's q35 machine,
with a BMC on KCS serving a FRU file: QEMU's simulated BMC, or with
--bmc openipmi OpenIPMI's simulator (ipmi_sim) behind QEMU's ipmi-bmc-extern,
with ipmitool as the witness of what its FRU device holds afterwards.

The test boot app (BOOTX64.EFI on a FAT ESP) plays the platform; it reports
on debug port 0xE9. Ports 0x72 and 0x73 are captured to files, since QEMU has
no extended CMOS there. This script runs QEMU with a time limit, reads the
report and the captures, prints what the driver did, and fails loudly with
the console log when anything is off.

With --app BootAppTransport2.efi the app loads the IPMI_TRANSPORT2 face of
the KCS transport (KcsIpmiDxeTransport2) instead of KcsIpmiDxe; the debug port
0x402, where that transport reports a refused call, must stay free of it.

Usage: BootOnOvmf.py BUILD_DIR [--work DIR] [--bmc qemu|openipmi] [--app NAME]
"""

import argparse
import os
import re
import shutil
import sys
import tempfile

import OpenIpmi as OI
import QemuRun as Q


def write_fru(work, image):
    fru = os.path.join(work, "fru0.bin")
    with open(fru, "wb") as f:
        f.write(image)
    return fru


def run_qemu(build, work, timeout, fru_image, bmc_args, extra_args=(), app="BootApp.efi"):
    """Boot the app (both boots) with the given BMC arguments; the FRU image
    is what the BMC was given, for the checks."""
    esp = os.path.join(work, "esp")
    os.makedirs(os.path.join(esp, "EFI", "BOOT"), exist_ok=True)
    shutil.copy(os.path.join(build, app), os.path.join(esp, "EFI", "BOOT", "BOOTX64.EFI"))
    shutil.copy(os.path.join(build, "TavriDxe.efi"), os.path.join(esp, "TavriDxe.efi"))
    files = Q.fresh_files(work, ("report.txt", "port72.bin", "port73.bin", "console.log"))
    cmd = (Q.machine_args(vars_fd=Q.copy_vars(work)) + ["-serial", "file:" + files["console.log"]]
           + Q.esp_args(esp) + list(bmc_args) + Q.cmos_capture_args(files)
           + Q.debugcon_args("rep", 0xE9, files["report.txt"]) + list(extra_args))
    rc, qemu_out, elapsed = Q.run(cmd, timeout)
    return {
        "rc": rc, "qemu": qemu_out, "elapsed": elapsed, "fru": fru_image,
        "report": Q.read_file(files["report.txt"]), "console": Q.read_file(files["console.log"]),
        "p72": Q.read_file(files["port72.bin"], True), "p73": Q.read_file(files["port73.bin"], True),
    }


def check(result):
    report = result["report"]
    lines = [l for l in report.splitlines() if l.startswith("TAVRI")]
    boots = [l for l in lines if l.startswith("TAVRI boot ")]
    problems = []

    def want(cond, what):
        if not cond:
            problems.append(what)

    want(result["rc"] == 0, "QEMU exit status %r (%s)" % (result["rc"], result["qemu"].strip()[-200:]))
    want(len(boots) == 2, "expected two boots, saw %d" % len(boots))
    # Boot 1 seeds the preset out of force; the driver stores it and resets
    # before the KCS driver's start returns, so boot 1 never reports kcs-start.
    parts = report.split("TAVRI boot ")
    boot1 = parts[1] if len(parts) > 1 else ""
    boot2 = parts[2] if len(parts) > 2 else ""
    want("seed pm=0 iio=0" in boot1, "boot 1 did not seed both variables")
    want("kcs-start" not in boot1, "boot 1 was not ended by the driver's reset")
    want("kcs-start=0" in boot2, "boot 2 did not start the KCS transport")
    want("in-force=9/9" in boot2, "boot 2 did not find the preset in force")
    want("TAVRI iio status=0 size=22247 copied=144/144 switch=1" in boot2, "SocketIioConfig does not hold the HOB's bytes")
    want("TAVRI fru-protocol status=0" in boot2, "the FRU access protocol is not installed")
    m = re.search(r"TAVRI fru-read status=0 count=256", boot2)
    want(m is not None, "FRU read through the protocol failed")
    dump = bytearray()
    for l in boot2.splitlines():
        if l.startswith("TAVRI fru-data "):
            dump += bytes(int(x, 16) for x in l.split()[3:])
    want(bytes(dump) == result["fru"][:256], "FRU bytes differ from the FRU file given to the BMC")
    want("fru-write status=0 count=20 readback=0 matching=20/20" in boot2, "a FRU write did not read back")
    want("fru-write-past-end status=error:2 count=17" in boot2, "a write past 0xFFFF was not refused with its count untouched")
    want(result["p72"] == b"\x81\x81\x81", "port 0x72 saw %r, expected 0x81 three times" % result["p72"])
    want(result["p73"] == b"\x55", "port 0x73 saw %r, expected 0x55 once" % result["p73"])
    want("TAVRI done" in boot2, "the boot app did not finish")
    return problems, lines, bytes(dump)


def print_report(result, lines, dump, bmc="QEMU's BMC"):
    print("TavriDxe on OVMF (q35) with %s on KCS: %.1f s for the whole run" % (bmc, result["elapsed"]))
    for l in lines:
        if not l.startswith(("TAVRI fru-data", "TAVRI op")):
            print("  " + l[len("TAVRI "):])
        if l.startswith("TAVRI fru-read"):
            print("  FRU device 0, first 256 bytes:")
            for row in range(0, len(dump), 16):
                print("    %04X  %s" % (row, " ".join("%02X" % b for b in dump[row:row + 16])))
    fru = re.search(r"fru-read status=0 count=256 tsc=(\d+)", result["report"])
    raw = re.search(r"raw-kcs-16 tsc=(\d+)", result["report"])
    hooks = re.search(r"hooks-tsc=(\d+)", result["report"].split("TAVRI boot ")[-1])
    if fru and raw:
        print("  ReadFruData of 256 bytes vs the same 16 commands straight through KCS: %.2fx" % (int(fru.group(1)) / int(raw.group(1))))
    if hooks and raw:
        print("  all five IPMI-ready hooks (with both variable stores) vs those 16 commands: %.2fx" % (int(hooks.group(1)) / int(raw.group(1))))
    print("  port 0x72 writes: %s" % " ".join("%02X" % b for b in result["p72"]))
    print("  port 0x73 writes: %s" % " ".join("%02X" % b for b in result["p73"]))


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
    image = OI.board_fru()
    OI.exit_on_signals()
    with OI.IpmiSim(work, write_fru(work, image)) as sim:
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
        image = Q.fru_file()
        debug = os.path.join(work, "port402.txt")
        result = run_qemu(build, work, args.timeout, image, Q.qemu_bmc_args(write_fru(work, image)),
                          Q.debugcon_args("dbg", 0x402, debug), args.app)
        if "refused" in Q.read_file(debug):
            extra.append("the transport refused a call: " + Q.read_file(debug).strip()[-300:])
    else:
        result, extra, fru_print = run_openipmi(build, work, args.timeout)
    problems, lines, dump = check(result)
    problems += extra
    print_report(result, lines, dump, "QEMU's BMC" if args.bmc == "qemu" else "OpenIPMI's ipmi_sim")
    if fru_print is not None:
        print("\n  ipmitool fru print 0 (over ipmi_sim's LAN interface, after the boot):")
        print("\n".join("    " + l for l in fru_print.strip("\n").splitlines()))
    if problems:
        print("\nFAILED:")
        for p in problems:
            print("  - " + p)
        print("\n--- debug report (port 0xE9) ---\n" + result["report"])
        print("--- console (serial) ---\n" + result["console"][-6000:])
        return 1
    print("\nAll checks passed: two-boot cycle, FRU bytes, FRU write, the refused write past 0xFFFF, IIO import, CMOS marker%s."
          % ("" if args.bmc == "qemu" else ", ipmitool reads exactly the bytes written"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
