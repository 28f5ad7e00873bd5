#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""frutool against a second decoder nobody here wrote: ipmitool's `fru print`,
reading FRU devices of OpenIPMI's BMC simulator over its LAN port. One
ipmi_sim serves the whole corpus FruImages.py makes: case N is FRU device N,
as long as its image. Every field frutool prints must be printed by ipmitool
with the same value, and the other way round; an image frutool calls bad
must draw an error from ipmitool, or be listed in BLIND with the reason
ipmitool cannot see what is wrong with it.

ipmitool prints the FRU file IDs and the multi-record area only with -v, so
each device is printed twice: plainly (every other field) and with -v (file
IDs and the types of the records it decodes).

Usage (from Tests/): python3 -m FruFormat.CrossCheckIpmitool FRUTOOL [--work DIR]
"""

import argparse
import datetime
import os
import re
import sys
import tempfile

from Harness import OpenIpmi as OI

from . import FruFields as F
from . import FruImages as I
from . import FruMade as M

# Cases where only the fields frutool prints are compared, and why.
ONE_WAY = {
    # ipmitool reads the five board fields whatever comes first: it takes an
    # early 0xC1 end marker for a one-byte 8-bit field (the area's checksum
    # byte) and goes on reading past the area for the rest. frutool ends the
    # list at the marker; the fields before it are compared.
    "no-custom-early-end": "ipmitool reads on past the 0xC1 end marker",
}

# Bad images ipmitool does not flag, and why.
CHECKSUMS = "ipmitool's fru print verifies no checksum (header, area or record) and prints every area"
BLIND = {
    # ipmitool's fru print sums no checksum at all: it prints the areas of an
    # image whose header, info area or record checksum is wrong as if they
    # were sound. Only the checksum byte is wrong in these images, so the
    # fields frutool still prints (those of the areas it finds intact) are
    # compared with ipmitool's.
    "bad-header-checksum": CHECKSUMS,
    "bad-chassis-checksum": CHECKSUMS,
    "bad-board-checksum": CHECKSUMS,
    "bad-product-checksum": CHECKSUMS,
    "bad-record-header-checksum": CHECKSUMS,
    "bad-record-checksum": CHECKSUMS,
}

# Images cut inside the record list: the plain print never reads the
# multi-record area and shows every info area without a word; `-v fru print`
# reads the records and dies of SIGSEGV at the record that runs past the end
# of the device (it clears "request length - device size" bytes past the
# device's end, which wraps when the request starts before the end). That
# crash is how ipmitool flags them; their info-area fields are compared.
CRASH_ON_CUT_RECORDS = {"truncated-%d" % n for n in (195, 228)}

# What ipmitool prints when it cannot read what the header names.
ERRORS = ("Read FRU Area", "Device not present", "Unknown FRU header", "checksum", "FRU Read failed",
          "Invalid FRU size")

LABELS = {
    "Chassis Type": "chassis.type",
    "Chassis Part Number": "chassis.part",
    "Chassis Serial": "chassis.serial",
    "Chassis Extra": "chassis.custom",
    "Board Mfg Date": "board.mfg_date",
    "Board Mfg": "board.manufacturer",
    "Board Product": "board.name",
    "Board Serial": "board.serial",
    "Board Part Number": "board.part",
    "Board FRU ID": "board.file_id",
    "Board Extra": "board.custom",
    "Product Manufacturer": "product.manufacturer",
    "Product Name": "product.name",
    "Product Part Number": "product.part",
    "Product Version": "product.version",
    "Product Serial": "product.serial",
    "Product Asset Tag": "product.asset",
    "Product FRU ID": "product.file_id",
    "Product Extra": "product.custom",
}

FILE_IDS = ("board.file_id", "product.file_id")

# The record types ipmitool -v decodes, by the heading it prints.
RECORD_TYPES = {"00": "Power Supply", "01": "DC Output", "02": "DC Load", "C0": "OEM"}


def from_ipmitool(name, value):
    """An ipmitool value in the form frutool prints it."""
    if name == "board.mfg_date":
        # Dates: ipmitool prints them as ctime text in the local zone (the
        # test runs it in UTC) and date 0 as "Unspecified".
        if value == "Unspecified":
            return "unspecified"
        m = re.fullmatch(r"(.*\d{4}) UTC", value)
        if m:
            return datetime.datetime.strptime(m.group(1), "%a %b %d %H:%M:%S %Y").strftime("%Y-%m-%d %H:%M")
    # 6-bit packed ASCII: ipmitool decodes whole groups of three bytes into
    # four characters, so the unused bits of a last, shorter group come out as
    # trailing spaces (character 0); frutool prints the characters the bytes
    # hold. Trailing spaces of a value a multiple of four long are dropped.
    if value.endswith(" ") and len(value) % 4 == 0:
        value = value.rstrip(" ")
    return value


def to_ipmitool(name, value):
    """A frutool value in the form ipmitool prints it: binary fields as
    lower-case hex digits without 0x, the chassis type by its name alone."""
    if re.fullmatch(r"0x([0-9A-F]{2})+", value):
        return value[2:].lower()
    if name == "chassis.type":
        return re.sub(r"^\d+ \((.*)\)$", r"\1", value)
    return value


def ipmitool_fields(text):
    fields = {}
    for line in text.splitlines():
        m = re.match(r"^ ([A-Z][A-Za-z ]*?)\s*: (.*)$", line)
        if not m or m.group(1) not in LABELS:
            continue
        name = LABELS[m.group(1)]
        value = from_ipmitool(name, m.group(2))
        if name.endswith(".custom"):
            fields.setdefault(name, []).append(value)
        else:
            fields[name] = value
    records = re.findall(r"^ (Power Supply|DC Output|DC Load) Record$|^  (OEM) \(.*\) Record$", text, re.M)
    if records:
        fields["multirecord.types"] = [a or b for a, b in records]
    return fields


def frutool_fields(text):
    fields = F.map_values(F.frutool_fields(text), to_ipmitool)
    # The record types of a list frutool found good throughout: ipmitool
    # checks no checksum (CHECKSUMS), so a damaged list is not compared.
    damaged = re.search(r"^multirecord\.\d+: (?!.*checksum ok)", text, re.M)
    types = [RECORD_TYPES[t] for t in re.findall(r"^multirecord\.\d+\.type: 0x([0-9A-F]{2})", text, re.M)
             if t in RECORD_TYPES and not damaged]
    if types:
        fields["multirecord.types"] = types
    return fields


def flagged(rc, out):
    """How ipmitool showed that it could not read the device, or None."""
    if rc is None or rc < 0:
        return "died (%s)" % ("timeout" if rc is None else "signal %d" % -rc)
    if rc != 0:
        return "exit %d" % rc
    errors = [line.strip() for line in out.splitlines() if any(e in line for e in ERRORS)]
    return errors[0] + (" (+%d more)" % (len(errors) - 1) if len(errors) > 1 else "") if errors else None


def check_case(frutool, sim, fru_id, name, path, expected, problems, notes):
    """Returns the number of fields compared."""
    print_rc, printed = F.run([frutool, "print", path])
    plain_rc, plain, _ = sim.ipmitool(["fru", "print", str(fru_id)], encoding="latin-1")
    verbose_rc, verbose, _ = sim.ipmitool(["-v", "fru", "print", str(fru_id)], encoding="latin-1")
    theirs = ipmitool_fields(plain)
    seen = ipmitool_fields(verbose)
    theirs.update({k: v for k, v in seen.items() if k in FILE_IDS or k == "multirecord.types"})
    ours = frutool_fields(printed)
    flags = ["%s: %s" % (how, f) for how, f in (("print", flagged(plain_rc, plain)),
                                                 ("-v print", flagged(verbose_rc, verbose))) if f]
    left_out = set(FILE_IDS + ("multirecord.types",)) if verbose_rc != 0 else set()

    if expected == "bad":
        error = ([line for line in printed.splitlines() if line.startswith("error: ")] or ["no error"])[0]
        notes.append("%s: frutool exit %d, %s\n      ipmitool %s"
                     % (name, print_rc, error, "; ".join(flags) or "nothing: " + BLIND.get(name, "?")))
        if print_rc != 1 or error == "no error":
            problems.append("%s: frutool print exit %d on a bad image, %s" % (name, print_rc, error))
        if flags and name in BLIND:
            problems.append("%s: ipmitool now flags it (%s); BLIND is out of date" % (name, flags))
        if not flags and name not in BLIND:
            problems.append("%s: frutool finds it bad, ipmitool finds nothing wrong:\n%s" % (name, plain))
        if (name in CRASH_ON_CUT_RECORDS) != (verbose_rc is not None and verbose_rc < 0):
            problems.append("%s: ipmitool -v exit %r, expected a crash only on a cut record list" % (name, verbose_rc))
        return F.compare(name, ours, theirs, "ipmitool", problems, left_out=left_out, ours_only=True)

    if print_rc != 0:
        problems.append("%s: frutool exit %d on a good image:\n%s" % (name, print_rc, printed))
    if flags:
        problems.append("%s: ipmitool reports %s on a good image" % (name, flags))
    return F.compare(name, ours, theirs, "ipmitool", problems, left_out=left_out, ours_only=name in ONE_WAY)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("frutool")
    parser.add_argument("--work")
    args = parser.parse_args()
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="fru-cross-ipmitool-"))
    os.makedirs(work, exist_ok=True)
    os.environ["TZ"] = "UTC"
    made, made_problems = M.made_images(args.frutool, work)
    cases = I.corpus() + made
    devices = {}
    for fru_id, (name, data, _) in enumerate(cases):
        path = os.path.join(work, "fru%d-%s.bin" % (fru_id, name))
        with open(path, "wb") as f:
            f.write(data)
        devices[fru_id] = (path, len(data))

    problems, notes, compared = made_problems, [], 0
    OI.exit_on_signals()
    with OI.IpmiSim(work, devices=devices) as sim:
        for fru_id, (name, _, expected) in enumerate(cases):
            compared += check_case(args.frutool, sim, fru_id, name, devices[fru_id][0], expected, problems, notes)
        # Get FRU Inventory Area Info, which FruTool.efi asks first: ipmi_sim
        # gives each device's size, addressed in bytes.
        for fru_id in (0, len(cases) - 1):
            rc, out, _ = sim.ipmitool(["raw", "0x0a", "0x10", str(fru_id)])
            size = devices[fru_id][1]
            want = "%02x %02x 00" % (size & 0xFF, size >> 8)
            if rc != 0 or out.split() != want.split():
                problems.append("Get FRU Inventory Area Info for device %d: exit %r, %r, expected %r"
                                % (fru_id, rc, out.strip(), want))
    problems += ["still running after the test: %s" % cmd for _, cmd in OI.leftovers(work)]

    for note in notes:
        print("  " + note)
    left_out = {(case, "fields ipmitool prints beyond frutool's"): why for case, why in ONE_WAY.items()}
    return F.report("frutool and ipmitool fru print (ipmi_sim) over %d images (%d good, %d bad; %d fields compared)"
                    % (len(cases), sum(e == "good" for _, _, e in cases), sum(e == "bad" for _, _, e in cases),
                       compared), left_out, problems)


if __name__ == "__main__":
    sys.exit(main())
