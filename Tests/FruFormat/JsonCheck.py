#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""frutool's JSON: `print --json X | make --json - Y` over every FRU image
the tests have (the cross-check corpus, the images frutool make makes, the
fuzzer's corpus, and layouts frutool would not make itself). A good image
must come back decoding the same (the same JSON document); one frutool made
must come back byte for byte; a bad one is refused with nothing written.
Then descriptions with a bad value are refused, each naming its JSON path.

Usage (from Tests/): python3 -m FruFormat.JsonCheck FRUTOOL [--work DIR]
"""

import argparse
import glob
import json
import os
import subprocess
import sys
import tempfile

from . import FruImages as I
from . import FruMade as M


def frutool(tool, args, stdin=None, env=None):
    proc = subprocess.run([tool] + args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          env=dict(os.environ, **(env or {})), timeout=60)
    return proc.returncode, proc.stdout, proc.stderr.decode("latin-1")


def layouts():
    """Images laid out as frutool never lays them: the internal use area last
    and cut at an odd size, areas out of slot order with gaps, BCD plus that
    text cannot give back, junk after the end marker, 6-bit padding bits set,
    an empty field of every encoding, a text value holding ${ and Latin-1."""
    board = I.board(custom=(b"\x43\xDE\xF1\x23", "Caf\xe9 ${X} $${Y} $", bytes([0x82, 0xFF, 0xFF])))
    junk = bytearray(I.board(pad_to=96))
    junk[-3] = 0x5A
    junk[-1] = I.checksum(junk[:-1])
    empty = I.info_area([25], [b"\x00", b"\x40", b"\x80", b"\xC0", b"\x00", b"\x40", b"\x80"])

    def placed(areas, size):
        header, data = bytearray(8), bytearray(size)
        header[0] = 1
        for slot, at, area in areas:
            header[slot] = at // 8
            data[at:at + len(area)] = area
        header[7] = I.checksum(header[:7])
        data[:8] = header
        return bytes(data)

    return [("internal-last", placed([(3, 8, I.board()), (1, 80, I.internal())], 93), "good"),
            ("reversed-gaps", placed([(4, 16, I.product()), (3, 160, board), (5, 320, I.RECORDS)], 400), "good"),
            ("junk-padding", placed([(3, 8, bytes(junk)), (4, 104, empty)], 160), "good")]


def round_trip(tool, work, name, data, made_here, counts, problems):
    path = os.path.join(work, name + ".bin")
    made, again = path + ".json.bin", path + ".json2.bin"
    with open(path, "wb") as f:
        f.write(data)
    for old in (made, again):
        if os.path.exists(old):
            os.remove(old)
    printed_rc, printed, _ = frutool(tool, ["print", "--json", path])
    make_rc, _, why = frutool(tool, ["make", "--json", "-", made], stdin=printed)
    if printed_rc != 0:
        counts["refused"] += 1
        if printed_rc != 1 or "errors" not in json.loads(printed) or make_rc != 1 or os.path.exists(made):
            problems.append("%s: a bad image: print --json exit %d, make exit %d (%s), %s" % (
                name, printed_rc, make_rc, why.strip(), "a file written" if os.path.exists(made) else "nothing written"))
        return
    if make_rc != 0:
        problems.append("%s: make refuses what print --json gives: %s" % (name, why.strip()))
        return
    _, reprinted, _ = frutool(tool, ["print", "--json", made])
    if json.loads(reprinted) != json.loads(printed):
        problems.append("%s: decodes differently after the round trip:\n%s\n%s" % (name, printed, reprinted))
    frutool(tool, ["make", "--json", "-", again], stdin=reprinted)
    with open(made, "rb") as f1, open(again, "rb") as f2:
        first, second = f1.read(), f2.read()
    if second != first or (made_here and first != data):
        problems.append("%s: an image frutool made does not come back byte for byte" % name)
    counts["bytes" if first == data else "decodes"] += 1


BASE = {"chassis": {"offset": 8, "size": 32, "fields": [{"value": "P"}]},
        "board": {"fields": [{"value": "M"}, {"value": "N"}, {"value": "${FRU_SERIAL}"}]},
        "multirecord": {"records": [{"type": 0, "data": "EE028403280A2823B036504620672F3F140B202310E40200"}]}}


def with_value(path, value):
    """BASE with the value at path ("board.fields.2.value") set; None removes it."""
    doc = json.loads(json.dumps(BASE))
    keys = [int(k) if k.isdigit() else k for k in path.split(".")]
    node = doc
    for key in keys[:-1]:
        node = node[key]
    if value is None:
        del node[keys[-1]]
    else:
        node[keys[-1]] = value
    return json.dumps(doc)


# (description, what the message must say after "frutool: FILE: ")
BAD = [
    ('{"board": ', "not JSON: parse error at line 1, column 11"),
    ("[1]", "is array, not an object"),
    ('{"size": 1E400}', "not JSON: number overflow parsing '1E400'"),
    ('{"a":' + "[" * 100, "nested deeper than 32 levels"),
    (with_value("boardd", {}), "boardd: unknown key; expected size, header, internal"),
    (with_value("board.fields.2.value", "s" * 70), "board.fields[2].value: 70 characters, at most 63"),
    (with_value("board.fields.2.value", "${NO_SUCH_VARIABLE}"), "board.fields[2].value: ${NO_SUCH_VARIABLE} is not set"),
    (with_value("board.fields.2.value", "${FRU_SERIAL"), "board.fields[2].value: ${ without }"),
    (with_value("board.fields.1.value", "x"), "board.fields[1].value: one character cannot be text"),
    (with_value("board.fields.1.value", "\u20ac5"), "board.fields[1].value: the character U+20AC is not in Latin-1"),
    (with_value("board.fields.1.value", "${FRU_RAW}"), "board.fields[1].value: not UTF-8 text (a byte 0xE9 out of place)"),
    (with_value("board.fields.1.value", 7), "board.fields[1].value: is number, not a string"),
    (with_value("board.fields.1.encoding", "ebcdic"), 'board.fields[1].encoding: "ebcdic" is not an encoding'),
    (with_value("board.fields.1", {"encoding": "6bit", "value": "lower"}), "board.fields[1].value: not in 6-bit ASCII"),
    (with_value("board.fields.1", {"encoding": "6bit", "value": "X" * 85}), "85 characters, at most 84 in 6-bit ASCII"),
    (with_value("board.fields.1", {"encoding": "bcd_plus", "value": "123"}), "3 characters; BCD plus holds an even number"),
    (with_value("board.fields.1", {"encoding": "bcd_plus", "value": "12A4"}), "'A' is not in BCD plus"),
    (with_value("board.fields.1", {"encoding": "binary", "value": "ABC"}), "board.fields[1].value: an odd number of hex digits"),
    (with_value("board.fields.1", {"value": "N", "hex": "4E"}), "board.fields[1]: has both value and hex"),
    (with_value("board.fields.1", {"encoding": "text", "hex": "4E"}), "board.fields[1].hex: one byte cannot be text"),
    (with_value("board.fields.1", {"name": "board.serial", "value": "N"}), 'board.fields[1].name: "board.serial", but this place holds board.name'),
    (with_value("board.fields.1.colour", "red"), "board.fields[1].colour: unknown key"),
    (with_value("board.size", 16), "board.size: 16, but the area needs a multiple of 8 from 24 to 2040 bytes"),
    (with_value("board.offset", 13), "board.offset: 13 is not a multiple of 8"),
    (with_value("board.offset", 16), "board.offset: the board area at 0x0010-0x0027 overlaps the chassis area at 0x0008-0x0027"),
    (with_value("board.mfg_date", "2024-02-30 10:00"), 'board.mfg_date: "2024-02-30 10:00" is not a date'),
    (with_value("chassis.type", 300), "chassis.type: 300 is more than 255"),
    (with_value("chassis.type", -1), "chassis.type: -1 is not a whole number of 0 or more"),
    (with_value("chassis.error", "checksum bad"), "chassis.error: the area failed its checks"),
    (with_value("errors", ["common header: checksum at 0x0007 is wrong"]), "errors: the image this description was printed from failed"),
    (with_value("header", {"offsets": {"board": 48}}), "header.offsets.board: 48, but the board area is placed at 40"),
    (with_value("size", 16), "size: 16 bytes, but the areas end at byte"),
    (with_value("multirecord.records", []), "multirecord.records: no records"),
    (with_value("multirecord.records.0.data", "00" * 256), "multirecord.records[0].data: 256 bytes, at most 255"),
    (with_value("multirecord.records.0.end_of_list", False), "multirecord.records[0].end_of_list: false, but this is the last"),
    (with_value("multirecord.records.0.format", 1), "multirecord.records[0].format: 1 is not 2"),
    (with_value("multirecord.records.0.decoded", {"capacity": 800}), "multirecord.records[0].decoded.capacity: 800, but data holds 750"),
    (with_value("multirecord.records.0.type", None), "multirecord.records[0]: needs a type"),
]


def refusals(tool, work, problems):
    out = os.path.join(work, "refused.bin")
    for text, want in BAD:
        if os.path.exists(out):
            os.remove(out)
        rc, _, why = frutool(tool, ["make", "--json", "-", out], stdin=text.encode(),
                              env={"FRU_SERIAL": "SN-1", "FRU_RAW": "caf\udce9"})
        if rc != 1 or not why.startswith("frutool: standard input: ") or want not in why \
                or not why.rstrip().endswith("; nothing written") or os.path.exists(out):
            problems.append("make of %.60r: exit %d, %s, said %r; expected %r" % (
                text, rc, "a file written" if os.path.exists(out) else "nothing written", why, want))
    # The base description itself is good, its serial from the environment;
    # a missing file and a missing argument keep their exit statuses.
    rc, _, why = frutool(tool, ["make", "--json", "-", out], stdin=json.dumps(BASE).encode(), env={"FRU_SERIAL": "SN-1"})
    _, printed, _ = frutool(tool, ["print", "--json", out])
    if rc != 0 or json.loads(printed)["board"]["fields"][2]["value"] != "SN-1":
        problems.append("the base description: exit %d (%s)" % (rc, why))
    for args, want in ((["make", "--json", os.path.join(work, "missing.json"), out], 3), (["make", "--json", out], 2),
                       (["print", "--json"], 2), (["verify", "--json", os.path.join(work, "missing.bin")], 3)):
        rc, _, _ = frutool(tool, args)
        if rc != want:
            problems.append("frutool %s: exit %d, expected %d" % (" ".join(args[:2]), rc, want))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("frutool")
    parser.add_argument("--work")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="fru-json-")
    os.makedirs(work, exist_ok=True)
    made, problems = M.made_images(args.frutool, work)
    fuzzed = []
    for path in sorted(glob.glob(os.path.join(os.path.dirname(__file__), "Corpus", "*"))):
        with open(path, "rb") as f:
            fuzzed.append(("corpus-" + os.path.basename(path)[:12], f.read(), "fuzzed"))
    counts = {"bytes": 0, "decodes": 0, "refused": 0}
    cases = I.corpus() + layouts() + made + fuzzed
    for name, data, _ in cases:
        round_trip(args.frutool, work, name, data, name.startswith("made-"), counts, problems)
    refusals(args.frutool, work, problems)
    print("print --json | make --json - over %d images: %d back byte for byte, %d decoding the same, "
          "%d bad ones refused; %d bad descriptions refused" % (len(cases), counts["bytes"], counts["decodes"],
                                                                counts["refused"], len(BAD)))
    for problem in problems:
        print("  - " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
