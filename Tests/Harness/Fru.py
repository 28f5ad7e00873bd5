# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The FRU device 0 image the BMCs serve (QEMU's simulated BMC and
OpenIPMI's ipmi_sim alike): a common header, a board and a product area, then
a counting pattern up to 1 KiB, so that every byte of a read can be checked
and the fields can be decoded.
"""

FRU_AREA = 1024


def _field(text):
    """An 8-bit ASCII type/length field of a FRU area."""
    raw = text.encode()
    return bytes([0xC0 | len(raw)]) + raw


def _area(body):
    """A FRU area: version 1, length in 8-byte units, body, end marker 0xC1,
    padding and a zero-sum checksum."""
    data = bytearray([0x01, 0x00]) + body + b"\xC1"
    data += bytes((-(len(data) + 1)) % 8)
    data.append(0)
    data[1] = len(data) // 8
    data[-1] = (-sum(data)) & 0xFF
    return bytes(data)


def counting_pattern(size=FRU_AREA):
    return bytearray((i * 5 + 1) & 0xFF for i in range(size))


def board_fru(size=FRU_AREA):
    """FRU device 0: common header, board area, product area, then the
    counting pattern. Everything decodable ends before 0x100, where the boot
    app writes its 20-byte pattern."""
    data = counting_pattern(size)
    board = _area(b"\x00" + (12345678).to_bytes(3, "little")
                  + _field("Tavri Systems") + _field("TAVRI-SRV-2S") + _field("TS2S-000123")
                  + _field("TV-MB-0002") + b"\xC0")
    product = _area(b"\x00" + _field("Tavri Systems") + _field("TAVRI-SRV-2S") + _field("TV-2S")
                    + _field("A1") + _field("TS2S-000123") + b"\xC0" + b"\xC0")
    header = [0x01, 0x00, 0x00, 0x01, 1 + len(board) // 8, 0x00, 0x00]
    header.append((-sum(header)) & 0xFF)
    image = bytes(header) + board + product
    assert len(image) <= 0x100, "the FRU areas must end before the boot app's write at 0x100"
    data[:len(image)] = image
    return bytes(data)


def write_fru(path, image):
    with open(path, "wb") as f:
        f.write(image)
    return path
