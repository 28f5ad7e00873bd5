#!/usr/bin/env python3
"""FruTool.efi program in the UEFI shell of stock OVMF, against QEMU's BMC:
the factory run. The unit's image is made on the host with `frutool make`
from a description and a per-unit serial in the environment; the shell
refuses a damaged image and one larger than the device (both leave the
device as it was), then programs the made image: one line of result, the
old image kept beside the file, the device read back equal to the file.

SPDX-License-Identifier: BSD-2-Clause-Patent

Usage: python3 -m Harness.FruProgramOnShell BUILD_DIR [--work DIR] [--timeout S]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

from FruFormat import FruImages as I

from . import Collect as C
from . import Esp
from . import Qemu as Q
from . import Words as W

DEVICE_SIZE = 1024
READABLE = DEVICE_SIZE - 1     # QEMU's BMC refuses a read at the device's last offset
SERIAL = "UNIT-2024-0815"

DESCRIPTION = """chassis.type = 23
chassis.serial = ${SERIAL}
board.mfg_date = 2024-08-15 10:30
board.manufacturer = Tavri Systems
board.name = TVR-2S-MB
board.serial = B-${SERIAL}
product.name = TVR Server
product.serial = ${SERIAL}
multirecord.1.type = 0x01
multirecord.1.data = 81B004C4FF3C0078000000204E
"""

STARTUP = r"""@echo -off
fs0:
load TavriDxe.efi
load KcsIpmiDxe.efi
echo "FRUTEST step bad"
FruTool.efi program bad.bin
echo "FRUTEST rc bad %lasterror%"
echo "FRUTEST step huge"
FruTool.efi program huge.bin
echo "FRUTEST rc huge %lasterror%"
FruTool.efi read 0 untouched.bin {readable}
echo "FRUTEST step program"
FruTool.efi program unit.bin
echo "FRUTEST rc program %lasterror%"
FruTool.efi read 0 after.bin {readable}
echo "FRUTEST done"
reset -s
""".format(readable=READABLE)


def frutool(build, *args, env=None):
    proc = subprocess.run([W.frutool_path(build) or os.path.join(build, "TavriPkg", "FruTool", "frutool")] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60, env=env)
    return proc.returncode, proc.stdout.decode(errors="replace")


def images(build, staging):
    """The BMC's image, a damaged one, one larger than the device, and the
    unit's image made from the description."""
    old = I.full_image(board=I.board(serial="OLD-BOARD-SN"), size=DEVICE_SIZE)
    bad = bytearray(I.full_image())
    bad[bad[3] * 8 + 4] ^= 0x01                      # a board area byte: its checksum is wrong
    huge = I.image({"board": I.board(), "multirecord": b"".join(
        I.record(0xC0, bytes(200), last=(n == 5)) for n in range(6))})
    assert len(huge) > DEVICE_SIZE
    with open(os.path.join(staging, "unit.txt"), "w") as f:
        f.write(DESCRIPTION)
    code, out = frutool(build, "make", os.path.join(staging, "unit.txt"), os.path.join(staging, "unit.bin"),
                        env=dict(os.environ, SERIAL=SERIAL))
    assert code == 0, out
    for name, data in (("bad.bin", bad), ("huge.bin", huge)):
        with open(os.path.join(staging, name), "wb") as f:
            f.write(data)
    with open(os.path.join(staging, "unit.bin"), "rb") as f:
        unit = f.read()
    return old, unit


def run_qemu(build, work, timeout):
    staging = os.path.join(work, "staging")
    shutil.rmtree(staging, ignore_errors=True)
    os.makedirs(staging)
    old, unit = images(build, staging)
    with open(os.path.join(staging, "startup.nsh"), "w", newline="\r\n") as f:
        f.write(STARTUP)
    files = {name: os.path.join(build, name) for name in ("TavriDxe.efi", "KcsIpmiDxe.efi", "FruTool.efi")}
    files.update({name: os.path.join(staging, name) for name in ("bad.bin", "huge.bin", "unit.bin", "startup.nsh")})
    esp = os.path.join(work, "esp.img")
    Esp.fat_image(esp, files)
    fru = os.path.join(work, "fru0.bin")
    with open(fru, "wb") as f:
        f.write(old)
    result = Q.boot(work, timeout, Q.qemu_bmc_args(fru, DEVICE_SIZE), disk=esp, trace=False)
    rc, qemu_out, elapsed, console = result.rc, result.qemu, result.elapsed, result.console
    saved = {name: Esp.fat_read(esp, name) or b"" for name in ("untouched.bin", "after.bin", "unit.bin.bak",
                                                              "bad.bin.bak", "huge.bin.bak")}
    return {"rc": rc, "qemu": qemu_out, "elapsed": elapsed, "console": console, "saved": saved,
            "old": old, "unit": unit}


def check(result):
    session = C.ShellSession(result)
    want, rc, section = session.want, session.rc, session.lines
    saved, old, unit = result["saved"], result["old"], result["unit"]
    want(session.refused("bad"), "program of a damaged image succeeded")
    want(section("bad") and "not a good FRU image; device untouched" in section("bad")[-1]
         and "board area: checksum" in section("bad")[-1], "the damaged image's refusal does not say why: %s" % section("bad"))
    want(session.refused("huge"), "program of an image larger than the device succeeded")
    want(section("huge") and "larger than the device" in section("huge")[-1], "the large image's refusal: %s" % section("huge"))
    want(saved["untouched.bin"] == old[:READABLE], "a refused program changed the device")
    want(not saved["bad.bin.bak"] and not saved["huge.bin.bak"], "a refused program left a backup file")
    want(session.ok("program"), "program of the made image ended with %s" % rc("program"))
    want(len(section("program")) == 1 and section("program")[0].startswith("program: FRU device 0 holds unit.bin"),
         "program did not print one line of result: %s" % section("program"))
    want(saved["after.bin"][:len(unit)] == unit, "the device does not hold unit.bin after program")
    want(saved["unit.bin.bak"] and old.startswith(saved["unit.bin.bak"]) and len(saved["unit.bin.bak"]) >= len(unit),
         "unit.bin.bak does not hold the device's old image (%d bytes)" % len(saved["unit.bin.bak"]))
    return session


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=420)
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="tavri-fruprogram-")
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    result = run_qemu(build, work, args.timeout)
    checks = check(result)
    print("FruTool.efi program in the OVMF shell with QEMU's BMC: %.1f s for the whole run" % result["elapsed"])
    print("--- program's lines ---\n" + "\n".join(
        line for line in result["console"].splitlines() if line.startswith("program: ")))
    return checks.finish(None, "All checks passed: refusals leave the device untouched; the made image programmed, kept, read back.",
                         dump=lambda: print("--- console (serial) ---\n" + result["console"][-8000:]))


if __name__ == "__main__":
    sys.exit(main())
