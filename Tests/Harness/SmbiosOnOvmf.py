#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""FruSmbiosDxe on real UEFI firmware: Debian's OVMF in QEMU's q35 machine,
QEMU's simulated BMC on KCS serving a FRU image. The boot app SmbiosCheckApp
reports SMBIOS types 1, 2 and 3, loads FruSmbiosDxe, TavriDxe and the KCS
transport, and reports them again (debug port 0xE9).

Cases (the FRU image with chassis, board and product areas):
  stock        QEMU's own SMBIOS tables: type 1 and 3 lack serial, SKU and
               asset-tag strings and there is no type 2, so the driver
               replaces types 1 and 3 and adds type 2.
  placeholders the platform gives every string (-smbios), so each FRU value
               goes in through UpdateString.
  bad-header   the FRU header checksum is broken: nothing may change.

--bring-up runs one more case for Scripts/Run.sh's bring-up log: QEMU's own
tables and the FRU image the boot app's runs use (Fru.board_fru: board and
product areas, no chassis area, an empty asset tag); the values expected are
those frutool decodes from it, and a field it lacks must keep the
platform's value.

Usage: python3 -m Harness.SmbiosOnOvmf BUILD_DIR [--work DIR] [--case NAME]... [--bring-up]
       python3 -m Harness.SmbiosOnOvmf [BUILD_DIR --fru IMAGE] --show REPORT
           (the mapping from a saved port 0xE9 report, CASE/report.bin in
           the work folder; the FRU values from IMAGE through frutool print,
           else those of good_image())
"""

import argparse
import os
import re
import shutil
import sys
import tempfile

from FruFormat import FruImages as F

from . import Collect as C
from . import Fru
from . import Qemu as Q
from . import Words as W

# What good_image() holds (FruImages' defaults) and where it must show.
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
    return F.image({"chassis": F.chassis(), "board": F.board(), "product": F.product()}, size=Fru.FRU_AREA)


def bad_header_image():
    data = bytearray(good_image())
    data[7] ^= 0x01
    return bytes(data)


# name: (image, extra QEMU arguments, FRU values expected in SMBIOS, or None
# for those frutool decodes from the image)
CASES = {
    "stock": (good_image, [], FRU),
    "placeholders": (good_image, PLACEHOLDERS, FRU),
    "bad-header": (bad_header_image, [], {}),
    "bring-up": (Fru.board_fru, [], None),
}
TEST_CASES = ["stock", "placeholders", "bad-header"]


def parse_report(report):
    """{phase: {type: {field: value}}} from the apps' smbios lines (phases
    before and after of SmbiosCheckApp, firmware of PlatformCheckApp);
    chassis-type and handle as printed, "none" types as None."""
    out = {"before": {}, "after": {}}
    for body in C.report_lines(report):
        m = re.match(r"smbios ([a-z]+) type=(\d) (.*)$", body)
        if not m:
            continue
        phase, kind, rest = m.group(1), int(m.group(2)), m.group(3)
        out.setdefault(phase, {})
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
    if values.get("chassis.type"):
        values["chassis.type"] = "0x%02X" % int(values["chassis.type"].split()[0])
    return values


def image_values(build, path):
    """fru_values of an image as frutool prints it; {} when it does not decode."""
    rc, out = W.frutool(build, "print", path)
    return fru_values(out) if rc == 0 else {}


def usable(name, value):
    """Whether the driver takes this FRU value: a non-blank string; a chassis
    type from 0x01 to 0x24 but for 0x02 (Unknown)."""
    if not value or not value.strip():
        return False
    if name == "chassis.type":
        return 0x01 <= int(value, 16) <= 0x24 and int(value, 16) != 0x02
    return True


def mapping_rows(seen, fru):
    """Each FRU field with the SMBIOS field it goes to: (name, FRU value shown,
    "typeN.field", before, after, verdict, as expected). A usable FRU value
    must be there after; otherwise the platform's value must stay."""
    rows = []
    for name, kind, field in MAPPING:
        value = fru.get(name)
        area = name.split(".")[0]
        if value is not None:
            shown = value if value.strip() else "(empty)"
        elif not fru:
            shown = "(none decoded)"
        elif not any(key.startswith(area + ".") for key in fru):
            shown = "(no %s area)" % area
        else:
            shown = "(no such field)"
        had, has = seen["before"].get(kind), seen["after"].get(kind)
        before = "(no type %d)" % kind if had is None else repr(had.get(field, ""))
        after = "(no type %d)" % kind if has is None else repr(has.get(field, ""))
        if usable(name, value):
            ok = has is not None and has.get(field) == value
            if not ok:
                verdict = "WRONG: not the FRU's value"
            elif had is None:
                verdict = "type %d added with the FRU's value" % kind
            elif had.get(field) == value:
                verdict = "already the FRU's value"
            else:
                verdict = "now the FRU's value"
        else:
            ok = had is not None and has is not None and has.get(field) == had.get(field)
            if had is None:
                ok = True
                verdict = "no FRU value; type %d %s" % (kind, "absent" if has is None else "added by the board area")
            else:
                verdict = "platform's value kept" if ok else "WRONG: changed without a FRU value"
        rows.append((name, shown, "type%d.%s" % (kind, field), before, after, verdict, ok))
    return rows


def format_mapping(report, fru=FRU):
    """Lines showing each SMBIOS value before and after the update next to
    the FRU field it comes from, with what happened to it."""
    lines = ["  %-21s %-18s %-19s %-33s %-33s %s" % ("FRU field", "FRU value", "SMBIOS", "before", "after", "")]
    for name, shown, where, before, after, verdict, _ in mapping_rows(parse_report(report), fru):
        lines.append("  %-21s %-18s %-19s %-33s %-33s %s" % (name, shown, where, before, after, verdict))
    return lines


def run_case(build, work, name, timeout):
    """Boot the check app with the case's FRU image and platform tables."""
    make_image, extra, _ = CASES[name]
    case_dir = os.path.join(work, name)
    esp = os.path.join(case_dir, "esp")
    os.makedirs(os.path.join(esp, "EFI", "BOOT"), exist_ok=True)
    shutil.copy(os.path.join(build, "SmbiosCheckApp.efi"), os.path.join(esp, "EFI", "BOOT", "BOOTX64.EFI"))
    fru = Fru.write_fru(os.path.join(case_dir, "fru0.bin"), make_image())
    return Q.boot(case_dir, timeout, Q.qemu_bmc_args(fru), esp=esp, captures=Q.CAPTURE_REPORT, trace=False,
                  extra=extra)


def starts(report):
    """The start statuses of FruSmbiosDxe, TavriDxe and the transport."""
    for body in C.report_lines(report):
        if body.startswith("frusmbios-start="):
            f = C.fields(body)
            return [f.get(k) for k in ("frusmbios-start", "tavri-start", "kcs-start")]
    return [None, None, None]


def check_case(c, name, result, fru):
    """The case's checks into c; returns whether they all held."""
    before_count = len(c.problems)
    report = result.text("report")
    seen = parse_report(report)
    before, after = seen["before"], seen["after"]
    want = lambda cond, what, passed=None: c.want(cond, "%s: %s" % (name, what),  # noqa: E731
                                                  passed and "%s: %s" % (name, passed))
    want(result.rc == 0, "QEMU exit status %r (%s)" % (result.rc, result.qemu.strip()[-200:]))
    want("TAVRI done" in report, "the app did not finish")
    started = starts(report)
    want(all(W.is_success(s) for s in started),
         "a driver did not start: FruSmbiosDxe %s, TavriDxe %s, transport %s" % tuple(W.name(s) for s in started),
         "FruSmbiosDxe, TavriDxe and the KCS transport started")
    if not want(before.get(1) is not None and before.get(3) is not None,
                "the platform has no type 1 or type 3 before the update"):
        return False
    if name == "bad-header":
        want(after == before, "a FRU image with a bad header changed SMBIOS: %r -> %r" % (before, after),
             "a FRU image with a bad header changes nothing")
        return len(c.problems) == before_count
    rows = mapping_rows(seen, fru)
    for row in rows:
        want(row[6], "%s is %s, %s (FRU %s %s)" % (row[2], row[4], row[5], row[0], row[1]))
    if all(r[6] for r in rows):
        want(True, "", "each SMBIOS field holds its FRU value, or the platform's where the FRU has none")
    for kind in (1, 3):
        want(after.get(kind) is not None and after[kind]["handle"] == before[kind]["handle"],
             "type %d changed handle: %s -> %s" % (kind, before[kind]["handle"], (after.get(kind) or {}).get("handle")),
             "type %d keeps its handle %s" % (kind, before[kind]["handle"]))
    # Fields the FRU does not give keep the platform's strings.
    for kind, field in ((3, "manufacturer"), (3, "version")):
        want((after.get(kind) or {}).get(field) == before[kind][field],
             "type %d %s changed: %r -> %r" % (kind, field, before[kind][field], (after.get(kind) or {}).get(field)))
    if name == "placeholders":
        want(before.get(2) is not None and (after.get(2) or {}).get("handle") == before[2]["handle"],
             "the platform's type 2 was not the one updated", "the platform's type 2 was the one updated")
        want((after.get(2) or {}).get("asset") == before[2]["asset"],
             "type 2 asset tag changed: %r -> %r" % (before[2]["asset"], (after.get(2) or {}).get("asset")))
    else:
        want(before.get(2) is None, "QEMU's stock tables unexpectedly have a type 2")
    return len(c.problems) == before_count


def print_bring_up(result, report):
    """The SMBIOS part of the bring-up log: only what the report shows."""
    seen = parse_report(report)
    print("\nSMBIOS from the FRU: SmbiosCheckApp on stock OVMF, QEMU's BMC serving the FRU image BootOnOvmf "
          "serves (%.1f s)." % result.elapsed)
    print("  The app %s SMBIOS types 1, 2 and 3 as QEMU's tables hold them; FruSmbiosDxe, TavriDxe and the KCS "
          "transport, loaded and started: %s, %s, %s; the three types %s."
          % (("reported" if seen["before"] else "did NOT report",) + tuple(W.name(s) for s in starts(report))
             + ("reported again" if seen["after"] else "NOT reported again",)))
    print("  Each FRU field as frutool decodes it, the SMBIOS field it goes to, that field before and after:")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=180)
    parser.add_argument("--case", action="append", choices=sorted(CASES))
    parser.add_argument("--bring-up", action="store_true", help="the case of Scripts/Run.sh's bring-up log")
    parser.add_argument("--show", metavar="REPORT")
    parser.add_argument("--fru", metavar="IMAGE", help="with --show and BUILD_DIR: the FRU values from this image")
    args = parser.parse_args()
    if args.show:
        if not os.path.exists(args.show):
            parser.error("no report at %s" % args.show)
        fru = image_values(os.path.abspath(args.build), args.fru) if args.fru and args.build else FRU
        print("\n".join(format_mapping(C.read_file(args.show), fru)))
        return 0
    if not args.build:
        parser.error("BUILD_DIR is needed")
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tavri-smbios-"))
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    c, failed = C.Checks(), []
    for name in ["bring-up"] if args.bring_up else (args.case or TEST_CASES):
        result = run_case(build, work, name, args.timeout)
        fru = CASES[name][2]
        if fru is None:
            fru = image_values(build, os.path.join(work, name, "fru0.bin"))
            c.want(bool(fru), "%s: frutool does not decode the FRU image" % name)
        report = result.text("report")
        if args.bring_up:
            print_bring_up(result, report)
        else:
            print("%s (%.1f s):" % (name, result.elapsed))
        print("\n".join(format_mapping(report, fru)))
        if not check_case(c, name, result, fru):
            failed.append(result)

    def dump():
        for result in failed:
            print("\n--- %s ---" % os.path.basename(result.work))
            result.failure_dump()

    if args.bring_up:
        return c.finish(None, "SMBIOS checks passed.", dump)
    return c.finish(None, "All checks passed: types 1, 2 and 3 carry the FRU's values; "
                    "a bad FRU header changes nothing.", dump)


if __name__ == "__main__":
    sys.exit(main())
