# SPDX-License-Identifier: BSD-2-Clause-Patent
"""FRU images for the tests: an encoder for each type/length encoding, area
and record builders, and the corpus the cross-check runs through frutool and
FreeIPMI (every area, every encoding, edge values, each checksum broken in
turn, truncated images).

Written from the FRU format itself, independently of the C++ library, so the
two check each other.
"""

import datetime
import struct

END = 0xC1
EPOCH = datetime.datetime(1996, 1, 1)
BCD = "0123456789 -."


def checksum(data):
    return (-sum(data)) & 0xFF


def binary(data):
    return bytes([len(data)]) + bytes(data)


def bcd_plus(text):
    """Two digits a byte, high nibble first."""
    assert len(text) % 2 == 0
    out = bytes((BCD.index(text[i]) << 4) | BCD.index(text[i + 1]) for i in range(0, len(text), 2))
    return bytes([0x40 | len(out)]) + out


def six_bit(text):
    value = 0
    for i, ch in enumerate(text):
        code = ord(ch) - 0x20
        assert 0 <= code < 64
        value |= code << (6 * i)
    size = (len(text) * 6 + 7) // 8
    return bytes([0x80 | size]) + value.to_bytes(size, "little")


def latin1(text):
    data = text.encode("latin-1")
    assert len(data) != 1 and len(data) <= 63
    return bytes([0xC0 | len(data)]) + data


def field(value):
    """A field from a value: bytes are taken as already encoded, text as 8-bit."""
    return value if isinstance(value, bytes) else latin1(value)


def info_area(prefix, fields, custom=(), pad_to=None):
    body = bytearray([1, 0]) + bytes(prefix)
    for value in list(fields) + list(custom):
        body += field(value)
    body.append(END)
    while (len(body) + 1) % 8:
        body.append(0)
    if pad_to:
        body += bytes(pad_to - len(body) - 1)
    body[1] = (len(body) + 1) // 8
    body.append(checksum(body))
    return bytes(body)


def chassis(kind=23, part="CH-PART-01", serial="CH-SN-0001", custom=()):
    return info_area([kind], [part, serial], custom)


def minutes(when):
    return int((when - EPOCH).total_seconds() // 60)


def board(date=datetime.datetime(2023, 6, 1, 12, 30), manufacturer="Tavri Systems", name="TVR-2S-MB",
          serial="BRD-SN-000123", part="BRD-PN-77", file_id="fru-v1", custom=(), language=25, pad_to=None):
    stamp = minutes(date) if isinstance(date, datetime.datetime) else date
    return info_area([language] + list(stamp.to_bytes(3, "little")),
                     [manufacturer, name, serial, part, file_id], custom, pad_to)


def product(manufacturer="Tavri Systems", name="TVR Server", part="TVR-SRV-2S", version="A01",
            serial="PRD-SN-4242", asset="ASSET-0007", file_id="fru-v1", custom=(), language=25):
    return info_area([language], [manufacturer, name, part, version, serial, asset, file_id], custom)


def internal(data=b"\x11\x22\x33\x44\x55\x66\x77"):
    body = bytes([1]) + bytes(data)
    return body + bytes((-len(body)) % 8)


def record(kind, data, last=False):
    head = bytearray([kind, 0x02 | (0x80 if last else 0), len(data), checksum(data)])
    head.append(checksum(head))
    return bytes(head) + bytes(data)


def image(areas, size=None):
    """Lay out areas (a dict: internal, chassis, board, product, multirecord)
    after the common header, in that order."""
    header = bytearray([1, 0, 0, 0, 0, 0, 0, 0])
    body = bytearray()
    for slot, name in enumerate(("internal", "chassis", "board", "product", "multirecord"), start=1):
        if name in areas:
            header[slot] = (8 + len(body)) // 8
            body += areas[name]
            body += bytes((-len(body)) % 8)
    header[7] = checksum(header[:7])
    data = bytes(header) + bytes(body)
    if size is not None:
        data = data.ljust(size, b"\0")
    return data


RECORDS = record(0x00, bytes(range(24))) + record(0xC0, b"\x01\x02\x03\x04", last=True)

# One record of each kind the tools decode, with values a real supply has:
# a 750 W supply, its +12 V output (standby), a -12 V load, a system name,
# a base compatibility record.
SAMPLE_RECORDS = (
    record(0x00, struct.pack("<HHBBHHHHBBBBHBHB", 750, 900, 40, 10, 9000, 14000, 18000, 26400, 47, 63, 20, 0x0B,
                             (2 << 12) | 800, 0x10, 740, 0))
    + record(0x01, struct.pack("<BhhhHHH", 0x81, 1200, -60, 60, 120, 0, 62500))
    + record(0x02, struct.pack("<BhhhHHH", 0x02, -1200, -1260, -1140, 50, 100, 3000))
    + record(0x03, b"\x02host-17")
    + record(0x04, bytes([0x57, 0x01, 0x00, 0x0A, 0x01, 0x10, 0xFF]), last=True))


def full_image(size=None, **overrides):
    areas = {
        "internal": internal(),
        "chassis": chassis(),
        "board": board(),
        "product": product(),
        "multirecord": RECORDS,
    }
    areas.update(overrides)
    return image(areas, size)


def corpus():
    """(name, image, expected) for the cross-check; expected is "good" or
    "bad" for what frutool verify must say."""
    cases = []
    good = full_image(size=512)
    cases.append(("full", good, "good"))
    cases.append(("board-only", image({"board": board()}, 256), "good"))
    cases.append(("encodings", image({
        "chassis": chassis(kind=17, part=six_bit("ABCD"), serial=bcd_plus("12-34.56"), custom=(binary(b"\x01\xAB\xFF"), "x2", six_bit("HELLO WORLD!"))),
        "board": board(manufacturer=six_bit("TAVRI"), name="Caf\xe9 Board", serial=bcd_plus("0042"), part="", file_id=binary(b"")),
        "product": product(name="A" * 63, version=six_bit("V"), custom=("extra one", "extra two")),
    }, 512), "good"))
    cases.append(("edge-dates", image({"board": board(date=0)}, 128), "good"))
    cases.append(("edge-date-max", image({"board": board(date=0xFFFFFF)}, 128), "good"))
    cases.append(("empty-fields", image({"chassis": chassis(part="", serial=""), "product": product(*[""] * 7)}, 128), "good"))
    cases.append(("no-custom-early-end", image({"board": info_area([25, 0, 0, 0], ["OnlyMfr"])}, 128), "good"))
    cases.append(("multirecord-only", image({"multirecord": record(0x01, bytes(range(40)), last=True)}, 128), "good"))
    cases.append(("records", image({"board": board(), "multirecord": SAMPLE_RECORDS}, 256), "good"))

    # Each checksum broken in turn: the header, each info area, a record
    # header and record data.
    def broken(at, name):
        data = bytearray(good)
        data[at] ^= 0x01
        cases.append((name, bytes(data), "bad"))

    broken(7, "bad-header-checksum")
    for slot, name in ((2, "chassis"), (3, "board"), (4, "product")):
        start = good[slot] * 8
        broken(start + good[start + 1] * 8 - 1, "bad-%s-checksum" % name)
    mr = good[5] * 8
    broken(mr + 4, "bad-record-header-checksum")
    broken(mr + 5, "bad-record-checksum")

    # Truncated images: cut inside the header, an area and the record list.
    end = mr + len(RECORDS)
    for cut in (5, good[3] * 8 + 4, mr + 3, end - 2):
        cases.append(("truncated-%d" % cut, good[:cut], "bad"))
    return cases
