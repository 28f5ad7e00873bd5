#!/usr/bin/env python3
"""FruSmbiosDxe on real UEFI firmware: Debian's OVMF in QEMU's q35 machine,
QEMU's simulated BMC on KCS serving a FRU image with chassis, board and
product areas. The boot app SmbiosCheckApp reports SMBIOS types 1, 2 and 3,
loads FruSmbiosDxe, TavriDxe and the KCS transport, and reports them again
(debug port 0xE9).

Cases:
  stock        QEMU's own SMBIOS tables: type 1 and 3 lack serial, SKU and
               asset-tag strings and there is no type 2, so the driver
               replaces types 1 and 3 and adds type 2.
  placeholders the platform gives every string (-smbios), so each FRU value
               goes in through UpdateString.
  bad-header   the FRU header checksum is broken: nothing may change.

Usage: SmbiosOnOvmf.py BUILD_DIR [--work DIR] [--case NAME]...
       SmbiosOnOvmf.py [BUILD_DIR --fru IMAGE] --show REPORT
           (the mapping from a saved port 0xE9 report; the FRU values from
           IMAGE through frutool print, else those of good_image())

SPDX-License-Identifier: BSD-2-Clause-Patent
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "FruFormat"))

import FruImages as F  # noqa: E402
import QemuRun as Q  # noqa: E402

# What the FRU image holds (FruImages' defaults) and where it must show.
FRU = {
    "product.manufacturer": "Tavri Systems", "product.name": "TVR Server", "product.part": "TVR-SRV-2S",
    "product.version": "A01", "product.serial": "PRD-SN-4242", "product.asset": "ASSET-0007",
    "board.manufacturer": "Tavri Systems", "board.name": "TVR-2S-MB", "board.serial": "BRD-SN-000123",
    "board.part": "BRD-PN-77", "chassis.serial": "CH-SN-0001", "chassis.type": "0x17",
}
MAPPING = [
    ("product.manufacturer", 1, "manufacturer"), ("product.name", 1, "product"),
    ("product.version", 1, "version"), ("product.serial", 1, "serial"), ("product.part", 1, "sku"),
    ("board.manufacturer", 2, "manufacturer"), ("board.name", 2, "product"),
    ("board.part", 2, "version"), ("board.serial", 2, "serial"),
    ("chassis.type", 3, "chassis-type"), ("chassis.serial", 3, "serial"), ("product.asset", 3, "asset"),
]

PLACEHOLDERS = [
    "-smbios", "type=1,manufacturer=Platform Inc,product=Platform Box,version=0.1,serial=To be filled,sku=SKU-0",
    "-smbios", "type=2,manufacturer=Platform Inc,product=Platform Board,version=0.2,serial=BB-0,asset=Board Asset",
    "-smbios", "type=3,manufacturer=Platform Inc,version=0.3,serial=CH-0,asset=No Asset Tag",
]


def good_image():
    return F.image({"chassis": F.chassis(), "board": F.board(), "product": F.product()}, size=Q.FRU_AREA)


def bad_header_image():
    data = bytearray(good_image())
    data[7] ^= 0x01
    return bytes(data)


CASES = {
    "stock": (good_image, []),
    "placeholders": (good_image, PLACEHOLDERS),
    "bad-header": (bad_header_image, []),
}


def parse_report(report):
    """{phase: {type: {field: value}}} from the app's smbios lines; chassis-type
    and handle as printed, "none" types as None."""
    out = {"before": {}, "after": {}}
    for line in report.splitlines():
        m = re.match(r"TAVRI smbios (before|after) type=(\d) (.*)$", line)
        if not m:
            continue
        phase, kind, rest = m.group(1), int(m.group(2)), m.group(3)
        if rest.strip() == "none":
            out[phase][kind] = None
            continue
        fields = dict(re.findall(r'([a-z-]+)="([^"]*)"', rest))
        fields.update(re.findall(r"(handle|chassis-type)=(0x[0-9A-Fa-f]+)", rest))
        if "chassis-type" in fields:
            fields["chassis-type"] = "0x%02X" % (int(fields["chassis-type"], 16) & 0x7F)
        out[phase][kind] = fields
    return out


def fru_values(frutool_print):
    """The FRU's values by name from `frutool print` output (the names are
    frutool's: product.serial, board.part, chassis.type ...), the chassis
    type as 0xNN like the app prints it."""
    values = {}
    for line in frutool_print.splitlines():
        name, sep, value = line.partition(": ")
        if sep:
            values[name.strip()] = value
    if "chassis.type" in values:
        values["chassis.type"] = "0x%02X" % int(values["chassis.type"].split()[0])
    return values


def format_mapping(report, fru=FRU):
    """Lines showing each SMBIOS value after the update next to the FRU field
    it came from and the platform's value before it (for Scripts/Run.sh)."""
    seen = parse_report(report)
    lines = ["  %-21s %-24s %-20s %s" % ("FRU field", "FRU value", "SMBIOS", "before -> after")]
    for name, kind, field in MAPPING:
        before = (seen["before"].get(kind) or {}).get(field, "(no type %d)" % kind)
        after = (seen["after"].get(kind) or {}).get(field, "(no type %d)" % kind)
        lines.append("  %-21s %-24s %-20s %r -> %r" % (name, fru.get(name, ""), "type%d.%s" % (kind, field), before, after))
    return lines


def run_case(build, work, name, timeout):
    make_image, extra = CASES[name]
    image = make_image()
    case_dir = os.path.join(work, name)
    esp = os.path.join(case_dir, "esp")
    os.makedirs(os.path.join(esp, "EFI", "BOOT"), exist_ok=True)
    shutil.copy(os.path.join(build, "SmbiosCheckApp.efi"), os.path.join(esp, "EFI", "BOOT", "BOOTX64.EFI"))
    fru = os.path.join(case_dir, "fru0.bin")
    with open(fru, "wb") as f:
        f.write(image)
    files = Q.fresh_files(case_dir, ("report.txt", "console.log"))
    cmd = (Q.machine_args(vars_fd=Q.copy_vars(case_dir)) + ["-serial", "file:" + files["console.log"]]
           + Q.esp_args(esp) + Q.qemu_bmc_args(fru) + Q.debugcon_args("rep", 0xE9, files["report.txt"]) + extra)
    rc, qemu_out, elapsed = Q.run(cmd, timeout)
    return {"rc": rc, "qemu": qemu_out, "elapsed": elapsed,
            "report": Q.read_file(files["report.txt"]), "console": Q.read_file(files["console.log"])}


def check_case(name, result):
    problems = []
    report = result["report"]
    seen = parse_report(report)
    if result["rc"] is None:
        problems.append("QEMU did not shut down: " + result["qemu"])
    if "TAVRI done" not in report:
        problems.append("the app did not finish")
    if "frusmbios-start=0 tavri-start=0 kcs-start=0" not in report:
        problems.append("a driver did not start: " + " ".join(re.findall(r"[a-z-]+-start=\S+", report)))
    before, after = seen["before"], seen["after"]
    if before.get(1) is None or before.get(3) is None:
        problems.append("the platform has no type 1 or type 3 before the update")
        return problems
    if name == "bad-header":
        if after != before:
            problems.append("a FRU image with a bad header changed SMBIOS: %r -> %r" % (before, after))
        return problems
    for fru_name, kind, field in MAPPING:
        got = (after.get(kind) or {}).get(field)
        if got != FRU[fru_name]:
            problems.append("type %d %s is %r, not the FRU's %s %r" % (kind, field, got, fru_name, FRU[fru_name]))
    for kind in (1, 3):
        if after[kind]["handle"] != before[kind]["handle"]:
            problems.append("type %d changed handle: %s -> %s" % (kind, before[kind]["handle"], after[kind]["handle"]))
    # Fields the FRU does not give keep the platform's strings.
    for kind, field in ((3, "manufacturer"), (3, "version")):
        if after[kind][field] != before[kind][field]:
            problems.append("type %d %s changed: %r -> %r" % (kind, field, before[kind][field], after[kind][field]))
    if name == "placeholders":
        if before.get(2) is None or after[2]["handle"] != before[2]["handle"]:
            problems.append("the platform's type 2 was not the one updated")
        if after[2]["asset"] != before[2]["asset"]:
            problems.append("type 2 asset tag changed: %r -> %r" % (before[2]["asset"], after[2]["asset"]))
    elif before.get(2) is not None:
        problems.append("QEMU's stock tables unexpectedly have a type 2")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=180)
    parser.add_argument("--case", action="append", choices=sorted(CASES))
    parser.add_argument("--show", metavar="REPORT")
    parser.add_argument("--fru", metavar="IMAGE", help="with --show and BUILD_DIR: the FRU values from this image")
    args = parser.parse_args()
    if args.show:
        fru = FRU
        if args.fru and args.build:
            frutool = os.path.join(args.build, "TavriPkg", "FruTool", "frutool")
            fru = fru_values(subprocess.run([frutool, "print", args.fru], stdout=subprocess.PIPE, text=True).stdout)
        print("\n".join(format_mapping(Q.read_file(args.show), fru)))
        return 0
    if not args.build:
        parser.error("BUILD_DIR is needed")
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tavri-smbios-"))
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    failed = False
    for name in args.case or ["stock", "placeholders", "bad-header"]:
        result = run_case(build, work, name, args.timeout)
        problems = check_case(name, result)
        print("%s (%.1f s):" % (name, result["elapsed"]))
        print("\n".join(format_mapping(result["report"])))
        if problems:
            failed = True
            print("FAILED:")
            for p in problems:
                print("  - " + p)
            print("--- debug report (port 0xE9) ---\n" + result["report"])
            print("--- console (serial, last part) ---\n" + Q.console_text(result["console"])[-4000:])
        print()
    if failed:
        return 1
    print("All checks passed: types 1, 2 and 3 carry the FRU's values; a bad FRU header changes nothing.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
