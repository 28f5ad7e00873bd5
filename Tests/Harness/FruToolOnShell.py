#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""FruTool.efi in the UEFI shell of Debian's stock OVMF, against QEMU's BMC.

With no boot option, OVMF lands in its built-in shell, which runs startup.nsh
from the ESP (a FAT image made with mtools). The script loads TavriDxe.efi and the KCS transport driver
(whose installation runs the driver's IPMI-ready hooks and so installs the FRU
access protocol), then runs FruTool.efi print (once before the drivers are loaded; it
shows the device size QEMU's BMC gives for Get FRU Inventory Area Info), read,
a read past the device (refused), dump, write (of an image bigger than one
WriteFruData call carries), set (once growing the board area so that the
product area and the records move up, once back to a short value), verify, a
print of a FRU device the BMC does not have, and shuts the machine down.

QEMU's BMC keeps Write FRU Data in memory only and never writes its FRU file
back, so the shell saves the device into after.bin on the ESP with
`FruTool.efi read`; after QEMU has stopped, that file is copied out of the
ESP image and checked on the host with frutool and FreeIPMI's ipmi-fru.

Usage: python3 -m Harness.FruToolOnShell BUILD_DIR [--work DIR] [--timeout S]
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

NEW_SERIAL = "QEMU-SHELL-0042"
# Longer than the room the written image leaves in its board area: the
# areas after it move.
TOO_LONG = "S" * 60
DEVICE_SIZE = 1024
# QEMU's BMC refuses a Read FRU Data at the device's last offset, so the
# shell saves all but that byte.
READABLE = DEVICE_SIZE - 1

STARTUP = r"""@echo -off
fs0:
echo "FRUTEST step no-protocol"
FruTool.efi print
echo "FRUTEST rc no-protocol %lasterror%"
load TavriDxe.efi
load KcsIpmiDxe.efi
echo "FRUTEST step print"
FruTool.efi print
echo "FRUTEST rc print %lasterror%"
FruTool.efi read 0 before.bin 1023
echo "FRUTEST rc read %lasterror%"
echo "FRUTEST step read-past"
FruTool.efi read 0 past.bin 1100
echo "FRUTEST rc read-past %lasterror%"
echo "FRUTEST step dump"
FruTool.efi dump 0 0 16
echo "FRUTEST rc dump %lasterror%"
FruTool.efi write 0 new.bin
echo "FRUTEST rc write %lasterror%"
echo "FRUTEST step set-too-long"
FruTool.efi set board.serial {long}
echo "FRUTEST rc set-too-long %lasterror%"
FruTool.efi set 0 board.serial {serial}
echo "FRUTEST rc set %lasterror%"
echo "FRUTEST step verify"
FruTool.efi verify
echo "FRUTEST rc verify %lasterror%"
echo "FRUTEST step print-after"
FruTool.efi print
echo "FRUTEST rc print-after %lasterror%"
FruTool.efi read 0 after.bin 1023
echo "FRUTEST rc read-after %lasterror%"
echo "FRUTEST step missing-device"
FruTool.efi print 7
echo "FRUTEST rc missing-device %lasterror%"
echo "FRUTEST done"
reset -s
""".format(serial=NEW_SERIAL, long=TOO_LONG)


def images():
    """The image the BMC starts with, and the one the shell writes: larger
    than the 271 bytes one WriteFruData call moves whole."""
    old = I.full_image(board=I.board(serial="OLD-BOARD-SN"), size=DEVICE_SIZE)
    new = I.full_image(
        board=I.board(serial="NEW-BOARD-SN", custom=("line 7", "station 12"), pad_to=104),
        product=I.product(name="TVR Server Programmed", custom=("C" * 60, "D" * 60, "E" * 60)))
    assert len(new) > 300, len(new)
    return old, new


def run_qemu(build, work, timeout):
    staging = os.path.join(work, "staging")
    shutil.rmtree(staging, ignore_errors=True)
    os.makedirs(staging)
    old, new = images()
    with open(os.path.join(staging, "new.bin"), "wb") as f:
        f.write(new)
    with open(os.path.join(staging, "startup.nsh"), "w", newline="\r\n") as f:
        f.write(STARTUP)
    files = {name: os.path.join(build, name) for name in ("TavriDxe.efi", "KcsIpmiDxe.efi", "FruTool.efi")}
    files.update({name: os.path.join(staging, name) for name in ("new.bin", "startup.nsh")})
    esp = os.path.join(work, "esp.img")
    Esp.fat_image(esp, files)
    fru = os.path.join(work, "fru0.bin")
    with open(fru, "wb") as f:
        f.write(old)
    result = Q.boot(work, timeout, Q.qemu_bmc_args(fru, DEVICE_SIZE), disk=esp, trace=False)
    rc, qemu_out, elapsed, console = result.rc, result.qemu, result.elapsed, result.console
    saved = {}
    for name in ("before.bin", "new.bin.bak", "after.bin"):
        saved[name] = Esp.fat_read(esp, name) or b""
        with open(os.path.join(work, name), "wb") as f:
            f.write(saved[name])
    return {"rc": rc, "qemu": qemu_out, "elapsed": elapsed, "console": console, "work": work,
            "saved": saved, "old": old, "new": new}


def host_tool(build, *args):
    return W.frutool(build, *args)


def ipmi_fru(path):
    proc = subprocess.run(["ipmi-fru", "--fru-file=" + path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=60, env=dict(os.environ, TZ="UTC"))
    return proc.returncode, proc.stdout.decode(errors="replace")


def check(build, result):
    session = C.ShellSession(result)
    want, rc, section = session.want, session.rc, session.section
    for step in ("print", "read", "dump", "write", "set-too-long", "set", "verify", "print-after", "read-after"):
        want(session.ok(step), "FruTool.efi %s ended with %s" % (step, rc(step)))
    want(session.refused("no-protocol") and "no FRU access protocol" in section("no-protocol"),
         "FruTool.efi without the FRU access protocol did not fail clearly")
    header = " ".join("%02X" % b for b in result["old"][:16])
    want(("0000: " + header) in section("dump"), "dump does not show the device's first 16 bytes")
    want("FRU device 0: %d bytes, addressed in bytes" % DEVICE_SIZE in section("print"),
         "print does not show the device size from Get FRU Inventory Area Info")
    want(session.refused("read-past") and "the device has %d bytes" % DEVICE_SIZE in section("read-past"),
         "a read past the device's size was not refused by its size")
    want("board area grown, the areas after it moved up" in section("set-too-long"),
         "a set that outgrows the board area did not move the areas after it")
    want(session.refused("missing-device"), "print of a FRU device the BMC lacks succeeded")
    want("EFI_DEVICE_ERROR" in section("missing-device"), "the missing device's error is not named")
    want("board.serial: OLD-BOARD-SN" in section("print"), "print did not show the BMC's image")
    want("every checksum good" in section("verify"), "verify after set did not pass")
    after_print = section("print-after")
    want("board.serial: %s" % NEW_SERIAL in after_print, "print after set does not show the new serial")
    want("product.custom3: " + "E" * 60 in after_print, "print after write does not show the written image")

    before = result["saved"]["before.bin"]
    backup = result["saved"]["new.bin.bak"]
    after = result["saved"]["after.bin"]
    after_path = os.path.join(result["work"], "after.bin")
    want(before == result["old"][:READABLE], "before.bin is not the BMC's FRU file")
    want(backup == result["old"][:len(result["new"])], "new.bin.bak does not hold the old bytes write replaced")
    want(len(after) == READABLE, "after.bin has %d bytes, expected %d" % (len(after), READABLE))

    code, out = host_tool(build, "verify", after_path)
    want(code == 0, "frutool verify of after.bin: %d\n%s" % (code, out))
    code, printed = host_tool(build, "print", after_path)
    want("board.serial: %s" % NEW_SERIAL in printed, "frutool does not see the new serial in after.bin")
    want("board.custom2: station 12" in printed, "frutool does not see the written board fields")
    want("product.custom3: " + "E" * 60 in printed, "the product area did not move whole")
    want(printed.count("checksum ok") == 2, "the records did not move whole:\n" + printed)
    code, freeipmi = ipmi_fru(after_path)
    want(code == 0, "ipmi-fru failed on after.bin: %d" % code)
    want("FRU Board Serial Number: %s" % NEW_SERIAL in freeipmi, "FreeIPMI does not see the new serial")
    want("FRU Product Name: TVR Server Programmed" in freeipmi, "FreeIPMI does not see the written product name")
    want("Error" not in freeipmi and "checksum" not in freeipmi.lower(), "FreeIPMI reports a problem:\n" + freeipmi)
    return session, printed, freeipmi


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=420)
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="tavri-frutool-")
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    result = run_qemu(build, work, args.timeout)
    checks, printed, freeipmi = check(build, result)
    print("FruTool.efi in the OVMF shell with QEMU's BMC: %.1f s for the whole run" % result["elapsed"])
    print("--- frutool print of the device after write and set ---\n" + printed)
    print("--- FreeIPMI ipmi-fru of the same bytes ---\n" + freeipmi)
    return checks.finish(None, "All checks passed: print, read, write with backup and read-back, set, verify, missing device.",
                         dump=lambda: print("--- console (serial) ---\n" + result["console"][-8000:]))


if __name__ == "__main__":
    sys.exit(main())
