#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""frutool against a decoder nobody here wrote: FreeIPMI's ipmi-fru, offline
(--fru-file), over the corpus FruImages.py makes. Every field frutool prints
must be printed by ipmi-fru with the same value, and the other way round; an
image frutool calls bad must draw an error from ipmi-fru too. Then frutool's
set is checked through ipmi-fru, and its exit statuses.

Where the two legitimately differ, the difference is listed in KNOWN with the
reason, and only that field is left out of the comparison.

Usage (from Tests/): python3 -m FruFormat.CrossCheck FRUTOOL [--work DIR]
"""

import argparse
import os
import re
import sys
import tempfile

from . import FruFields as F
from . import FruImages as I
from . import FruMade as M
from .FruFields import run

KNOWN = {
    # BCD plus holds two digits a byte (high nibble first), as the format's
    # BCD and Intel's FRU tools have it; ipmi-fru 1.6 takes one digit a byte
    # and calls any byte above 0x0C invalid.
    ("encodings", "chassis.serial"): "BCD plus: ipmi-fru reads one digit a byte",
    ("encodings", "board.serial"): "BCD plus: ipmi-fru reads one digit a byte",
    # A date of 0 means "unspecified"; ipmi-fru prints it as the epoch itself.
    ("edge-dates", "board.mfg_date"): "date 0 is unspecified; ipmi-fru prints 01/01/96 - 00:00:00",
    ("no-custom-early-end", "board.mfg_date"): "date 0 is unspecified; ipmi-fru prints 01/01/96 - 00:00:00",
    # Made images without board.mfg_date carry date 0 too.
    ("made-grown", "board.mfg_date"): "date 0 is unspecified; ipmi-fru prints 01/01/96 - 00:00:00",
    ("made-minimal", "board.mfg_date"): "date 0 is unspecified; ipmi-fru prints 01/01/96 - 00:00:00",
    ("made-sized", "board.mfg_date"): "date 0 is unspecified; ipmi-fru prints 01/01/96 - 00:00:00",
}

LABELS = {
    "FRU Chassis Type": "chassis.type",
    "FRU Chassis Part Number": "chassis.part",
    "FRU Chassis Serial Number": "chassis.serial",
    "FRU Chassis Custom Info": "chassis.custom",
    "FRU Board Manufacturing Date/Time": "board.mfg_date",
    "FRU Board Manufacturer": "board.manufacturer",
    "FRU Board Product Name": "board.name",
    "FRU Board Serial Number": "board.serial",
    "FRU Board Part Number": "board.part",
    "FRU Board Custom Info": "board.custom",
    "FRU Product Manufacturer Name": "product.manufacturer",
    "FRU Product Name": "product.name",
    "FRU Product Part/Model Number": "product.part",
    "FRU Product Version": "product.version",
    "FRU Product Serial Number": "product.serial",
    "FRU Product Asset Tag": "product.asset",
    "FRU Product Custom Info": "product.custom",
}


# Record fields ipmi-fru decodes, by the kind frutool names the record with:
# frutool's field name, then ipmi-fru's label after "FRU <kind> ".
RECORD_LABELS = {
    "power supply": ("Power Supply", {
        "capacity": "Overall Capacity", "peak_va": "Peak VA", "inrush_current": "Max Inrush Current",
        "inrush_interval": "Inrush Interval", "input_low_1": "Low End Input Voltage 1",
        "input_high_1": "High End Input Voltage 1", "input_low_2": "Low End Input Voltage 2",
        "input_high_2": "High End Input Voltage 2", "frequency_low": "Low End Acceptable Frequency",
        "frequency_high": "High End Acceptable Frequency", "dropout_tolerance": "A/C Dropout Tolerance",
        "peak_wattage": "Peak Capacity", "holdup_time": "Hold Up Time", "combined_wattage": "Total Combined Wattage"}),
    "DC output": ("DC Output", {
        "output": "Output Number", "standby": "Output on Standy", "nominal_voltage": "Nominal Voltage",
        "negative_deviation": "Maximum Negative Voltage Deviation",
        "positive_deviation": "Maximum Positive Voltage Deviation", "ripple": "Ripple and Noise pk-pk",
        "current_min": "Minimum Current Draw", "current_max": "Maximum Current Draw"}),
    "DC load": ("DC Load", {
        "output": "Output Number", "nominal_voltage": "Nominal Voltage", "voltage_min": "Spec'd Minimum Voltage",
        "voltage_max": "Spec'd Maximum Voltage", "ripple": "Spec'd Ripple and Noise pk-pk",
        "current_min": "Minimum Current Load", "current_max": "Maximum Current Load"}),
}


def frutool_records(text):
    """The decoded records of the kinds ipmi-fru decodes, in order: one
    {"kind": ..., field: value} each."""
    records, current = [], {}
    for line in text.splitlines():
        m = re.match(r"multirecord\.(\d+): ([^,]+), ", line)
        if m:
            current = {"kind": m.group(2)}
            if m.group(2) in RECORD_LABELS:
                records.append(current)
            continue
        m = re.match(r"multirecord\.\d+\.(\w+): (.*)$", line)
        if m and current.get("kind") in RECORD_LABELS and m.group(1) in RECORD_LABELS[current["kind"]][1]:
            current[m.group(1)] = m.group(2)
    # A record whose length is not its kind's layout is shown undecoded, as
    # ipmi-fru leaves it out.
    return [r for r in records if len(r) > 1]


def freeipmi_records(text):
    """ipmi-fru's records of those kinds, read block by block, in frutool's names and units."""
    records = []
    for block in re.split(r"\n\s*\n", text):
        for kind, (prefix, labels) in RECORD_LABELS.items():
            found = dict(re.findall(r"^\s+FRU %s ([^:]+): (.*)$" % re.escape(prefix), block, re.M))
            if found:
                record = {"kind": kind}
                for name, label in labels.items():
                    if label in found:
                        value = found[label].replace(" Watts", " W").replace(" Amps", " A")
                        record[name] = {"Yes": "yes", "No": "no"}.get(value, value)
                records.append(record)
    return records


def to_freeipmi(name, value):
    """A frutool value in the form ipmi-fru prints it."""
    if value.startswith("0x") and re.fullmatch(r"0x([0-9A-F]{2})+", value):
        value = " ".join("%sh" % value[i:i + 2] for i in range(2, len(value), 2))
    if name == "chassis.type":
        value = re.sub(r"^\d+ \((.*)\)$", r"\1", value)
    if name == "board.mfg_date" and value != "unspecified":
        y, mo, d, h, mi = re.match(r"(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d)", value).groups()
        value = "%s/%s/%s - %s:%s:00" % (mo, d, y[2:], h, mi)
    return value


def frutool_fields(text):
    return F.map_values(F.frutool_fields(text), to_freeipmi)


def freeipmi_fields(text):
    fields = {}
    area = None
    for line in text.splitlines():
        m = re.match(r"\s+(FRU [^:]+): (.*)$", line)
        if not m:
            continue
        label, value = m.groups()
        if label == "FRU FRU File ID" and area:
            fields[area + ".file_id"] = value
            continue
        name = LABELS.get(label)
        if name is None:
            continue
        area = name.split(".")[0]
        if name.endswith(".custom"):
            fields.setdefault(name, []).append(value)
        else:
            fields[name] = value
    return fields


def check_case(frutool, work, name, data, expected, problems):
    """Returns the number of fields compared."""
    path = os.path.join(work, name + ".bin")
    with open(path, "wb") as f:
        f.write(data)
    verify_rc, verify_out = run([frutool, "verify", path])
    print_rc, printed = run([frutool, "print", path])
    fi_rc, freeipmi = run(["ipmi-fru", "--fru-file=" + path])
    freeipmi_error = fi_rc != 0 or "Error" in freeipmi

    if expected == "bad":
        if verify_rc != 1 or print_rc != 1:
            problems.append("%s: frutool verify/print exit %d/%d on a bad image" % (name, verify_rc, print_rc))
        if "error: " not in verify_out:
            problems.append("%s: frutool verify names no error" % name)
        if not freeipmi_error:
            problems.append("%s: frutool finds it bad, ipmi-fru finds nothing wrong:\n%s" % (name, freeipmi))
        return 0

    if verify_rc != 0 or print_rc != 0:
        problems.append("%s: frutool exit %d/%d on a good image:\n%s" % (name, verify_rc, print_rc, verify_out))
    ours = frutool_fields(printed)
    theirs = freeipmi_fields(freeipmi)
    compared = F.compare(name, ours, theirs, "ipmi-fru", problems,
                         left_out={field for case, field in KNOWN if case == name})
    ours_records, their_records = frutool_records(printed), freeipmi_records(freeipmi)
    if ours_records != their_records:
        problems.append("%s: records differ:\n  frutool  %s\n  ipmi-fru %s" % (name, ours_records, their_records))
    compared += sum(len(r) - 1 for r in ours_records)
    unexplained = [line for line in freeipmi.splitlines() if "Error" in line
                   and not any(n == name for n, _ in KNOWN)]
    if unexplained:
        problems.append("%s: ipmi-fru reports %s" % (name, unexplained))
    return compared


def check_set(frutool, work, problems):
    """frutool set seen through ipmi-fru, and a refused set leaves the file alone."""
    path = os.path.join(work, "set.bin")
    with open(path, "wb") as f:
        f.write(I.full_image(board=I.board(pad_to=96), size=512))
    for field, value, label in (("board.serial", "SET-BY-FRUTOOL-7", "FRU Board Serial Number"),
                                ("board.mfg_date", "2024-02-29 23:59", "FRU Board Manufacturing Date/Time"),
                                ("board.custom1", "added custom", "FRU Board Custom Info"),
                                ("chassis.type", "17", "FRU Chassis Type")):
        code, out = run([frutool, "set", path, field, value])
        if code != 0:
            problems.append("frutool set %s: exit %d: %s" % (field, code, out))
        want = {"board.mfg_date": "02/29/24 - 23:59:00", "chassis.type": "Main Server Chassis"}.get(field, value)
        code, freeipmi = run(["ipmi-fru", "--fru-file=" + path])
        if "%s: %s" % (label, want) not in freeipmi or "Error" in freeipmi:
            problems.append("after frutool set %s, ipmi-fru shows:\n%s" % (field, freeipmi))
    # A field that outgrows its area: the areas after it move, every
    # checksum good for ipmi-fru, the records unchanged.
    code, out = run([frutool, "set", path, "product.name", "N" * 63])
    code2, freeipmi = run(["ipmi-fru", "--fru-file=" + path])
    if code != 0 or "moved up" not in out or "FRU Product Name: " + "N" * 63 not in freeipmi or "Error" in freeipmi:
        problems.append("a set that grows the product area: exit %d (%s), ipmi-fru:\n%s" % (code, out, freeipmi))
    if "FRU Power Supply Overall Capacity" not in freeipmi:
        problems.append("after the product area grew, ipmi-fru no longer sees the records:\n" + freeipmi)
    # The file holds the image and nothing after it: no room to grow.
    with open(path, "wb") as f:
        f.write(I.full_image())
    with open(path, "rb") as f:
        before = f.read()
    code, out = run([frutool, "set", path, "product.name", "N" * 63])
    with open(path, "rb") as f:
        after = f.read()
    if code != 1 or "--size N" not in out or after != before:
        problems.append("a set that does not fit: exit %d, file %s: %s" % (code, "changed" if after != before else "kept", out))
    code, out = run([frutool, "set", "--size", "1024", path, "product.name", "N" * 63])
    code2, freeipmi = run(["ipmi-fru", "--fru-file=" + path])
    if code != 0 or "FRU Product Name: " + "N" * 63 not in freeipmi or "Error" in freeipmi:
        problems.append("set --size 1024 on a full file: exit %d (%s), ipmi-fru:\n%s" % (code, out, freeipmi))
    for args, want in ((["print", os.path.join(work, "missing.bin")], 3), (["frobnicate", path], 2),
                       (["set", path, "board.colour", "red"], 2)):
        code, _ = run([frutool] + args)
        if code != want:
            problems.append("frutool %s: exit %d, expected %d" % (" ".join(args[:1]), code, want))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("frutool")
    parser.add_argument("--work")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="fru-cross-")
    os.makedirs(work, exist_ok=True)
    made, problems = M.made_images(args.frutool, work)
    cases = I.corpus() + made
    compared = 0
    for name, data, expected in cases:
        compared += check_case(args.frutool, work, name, data, expected, problems)
    check_set(args.frutool, work, problems)
    return F.report("frutool and ipmi-fru over %d images (%d good, %d bad; %d fields compared), "
                    "plus set and exit statuses"
                    % (len(cases), sum(e == "good" for _, _, e in cases), sum(e == "bad" for _, _, e in cases),
                       compared), KNOWN, problems)


if __name__ == "__main__":
    sys.exit(main())
