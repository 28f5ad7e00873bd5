#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""TavriRun fed with a board team's own files: FRU images, setup variables
(raw and in efivarfs layout), IIO source HOB data and the run options; and
every bad command line or file ending in one line and exit status 2."""

import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from Harness import Fru  # noqa: E402  (Tests/ on the path: the FRU images the BMCs serve)

TAVRI_RUN = sys.argv[1]
IIO_GUID = "dd84017e-7f52-48f9-b16e-50ed9e0dbe27"
PRESET_1 = {4: 1, 17: 1, 28: 1, 55: 2, 58: 1, 59: 1, 63: 1, 86: 1, 87: 15}
failures = []


def run(*args):
    done = subprocess.run([TAVRI_RUN, "--quiet", *args], capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


def expect(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")


def write(directory, name, data):
    path = os.path.join(directory, name)
    with open(path, "wb") as out:
        out.write(data)
    return path


with tempfile.TemporaryDirectory() as work:
    fru = write(work, "fru0.bin", bytes(range(128)))
    fru1 = write(work, "fru1.bin", b"\x11" * 32)
    pm = bytearray(524)
    pm[419] = 1
    for offset, value in PRESET_1.items():
        pm[offset] = value
    pm_file = write(work, "pm.bin", bytes(pm))
    iio = bytearray(b"\xab" * 22247)
    iio[18251] = 1
    iio_file = write(work, f"SocketIioConfig-{IIO_GUID}", struct.pack("<I", 0x7) + bytes(iio))
    hob = bytearray(7229)
    hob[6953:6961] = bytes(range(0xA0, 0xA8))
    hob_file = write(work, "hob.bin", bytes(hob))

    # The board team's data: the preset already in force, so one boot.
    code, out, err = run("--fru", fru, "--fru", fru1 + "@1", "--var", "SocketPowerManagementConfig=" + pm_file,
                         "--var", "SocketIioConfig=" + iio_file, "--hob", hob_file, "--busy", "3", "--revision", "0x00020000")
    expect("board data", code == 0, f"exit {code}\n{out}{err}")
    expect("board data: one boot", "Boot 1: booted on to the OS loader" in out and "Boot 2" not in out, out)
    expect("board data: busy waits", "busy waits: 3 x 30 ms" in out, out)
    expect("board data: HOB bytes imported", "from the HOB: A0 A1 A2 A3 A4 A5 A6 A7" in out, out)
    expect("board data: efivarfs attributes kept", "SocketIioConfig: 22247 bytes, attributes 0x7" in out, out)
    expect("board data: FRU device 0 read", "0000  00 01 02 03" in out, out)

    # The other transport shape: the BMC's busy reply is the transport's
    # EFI_DEVICE_ERROR at once, no wait; the boots still complete.
    code, out, err = run("--transport", "2", "--busy", "1")
    expect("transport 2", code == 0 and "IPMI transport: IPMI_TRANSPORT2" in out, f"exit {code}\n{out}{err}")
    expect("transport 2: busy not waited out", "busy waits: 0 x 30 ms" in out and "busy waits: 1 x" not in out, out)

    # EDK2's IPMI_PROTOCOL through the bridge: busy reaches the driver as
    # busy and is waited out, as with our own shape.
    code, out, err = run("--transport", "3", "--busy", "1")
    expect("transport 3", code == 0 and "IPMI transport: EDK2's IPMI_PROTOCOL" in out, f"exit {code}\n{out}{err}")
    expect("transport 3: busy waited out", "busy waits: 1 x 30 ms" in out, out)

    # The summary reads FRU device 0 as far as the driver's probe does: an
    # image whose areas run past byte 64 verifies.
    code, out, err = run("--fru", write(work, "board.bin", Fru.board_fru()))
    expect("summary: 256 bytes of FRU device 0, verified", code == 0 and "-> EFI_SUCCESS, 256 bytes:" in out
           and "    00F0 " in out and "verdict: every checksum good" in out, f"exit {code}\n{out}{err}")

    # A run that does not reach a completed boot fails.
    code, out, err = run("--boots", "1")
    expect("one boot allowed", code == 1 and "Boot 1: reset through port 0xCF9" in out, f"exit {code}\n{out}")

    # Bad command lines and files: one line on stderr, exit 2, nothing run.
    missing = os.path.join(work, "no-such-file")
    short_efivar = write(work, f"Short-{IIO_GUID}", b"\x07\x00\x00")
    bad_attributes = write(work, f"Bad-{IIO_GUID}", b"\x00\x01\x00\x80\x01")
    empty = write(work, "empty.bin", b"")
    huge = write(work, "huge.bin", b"\xff" * 65537)
    bad = {
        "missing FRU file": (["--fru", missing], "cannot read " + missing),
        "missing FRU file for device 2": (["--fru", missing + "@2"], "cannot read " + missing),
        "empty FRU file": (["--fru", empty], "1 to 65,536 bytes"),
        "FRU image over 64 KiB": (["--fru", huge], "this file 65537"),
        "missing variable file": (["--var", "SocketIioConfig=" + missing], "cannot read"),
        "short efivarfs file": (["--var", "SocketIioConfig=" + short_efivar], "4 attribute bytes"),
        "efivarfs attributes": (["--var", "SocketIioConfig=" + bad_attributes], "0x80000100"),
        "unknown variable": (["--var", "Other=" + pm_file], "not 'Other'"),
        "variable without a file": (["--var", "SocketIioConfig"], "NAME=FILE"),
        "empty HOB file": (["--hob", empty], "data bytes"),
        "HOB file over a HOB": (["--hob", huge], "this file 65537"),
        "missing HOB file": (["--hob", missing], "cannot read"),
        "busy not a number": (["--busy", "x"], "--busy takes"),
        "no boots": (["--boots", "0"], "--boots takes"),
        "revision not hex": (["--revision", "131072"], "--revision takes"),
        "no such transport": (["--transport", "4"], "--transport takes"),
        "unknown option": (["--frobnicate"], "unknown option"),
        "option without value": (["--fru"], "--fru needs a value"),
    }
    for name, (args, said) in bad.items():
        code, out, err = run(*args)
        lines = err.splitlines()
        expect(name, code == 2 and out == "" and len(lines) == 1 and lines[0].startswith("TavriRun: ") and said in lines[0],
               f"exit {code}, stdout {out!r}, stderr {err!r}")

for failure in failures:
    print("FAILED", failure)
sys.exit(1 if failures else 0)
