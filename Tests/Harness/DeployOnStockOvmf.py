#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Deploys TavriDxe on Debian's stock OVMF the way an engineer does on a
running board, with nothing of ours loading images or signalling events:

--driver-option  The UEFI shell's `bcfg driver add` stores Driver0000
                 (TavriDxe.efi) and Driver0001 (the KCS transport), plus
                 Driver0002 for an earlier build whose file is then deleted;
                 `dmpstore -all -l` seeds the two setup variables from a file
                 in the shell's save format; `reset`. The boot manager then
                 loads the drivers on every boot: the first stores the preset
                 and resets through 0xCF9, the next runs with it in force.
--shell-load     The shell seeds the variables and runs `load` for both
                 drivers; the KCS load runs the hooks, the preset reset comes
                 in the middle of it, and the next boot loads both again.
--volatile-preset
                 As --shell-load, but SocketPowerManagementConfig is seeded
                 volatile: a reset would lose the stored preset and come back
                 to the same mismatch on every boot, so the driver neither
                 stores it nor resets, and the boot goes on in one piece.

The startup.nsh on the ESP drives the shell; a shell variable (stored
non-volatile by `set`) tells later boots apart. Every port write that
matters is traced by QEMU, so each boot is told apart by its resets. The
probe app (DeployProbe.efi, run from the shell) reports the loaded images
and who loaded them, the variables and a FRU read through the protocol.

Usage: python3 -m Harness.DeployOnStockOvmf BUILD_DIR (--driver-option | --shell-load | --volatile-preset) [--work DIR]
"""

import argparse
import os
import sys
import tempfile

from . import DeployReport as R
from . import Esp
from . import Fru
from . import Qemu as Q

SETUP_FILE = "TavriSetup.dmp"
CONSOLE_KEEP = ("> ", "bcfg:", "Desc ", "DevPath", "Variable NV", "Delete", "Image '", "Handle dump",
                R.FRU_GUID + " ", "dmpstore:", "Load and set", "BdsDxe: starting", "load:")


BS_RT = Esp.BS_RT


def setup_file(pm_attributes=Esp.NV_BS_RT):
    pm, _, iio = R.seeded_variables()
    return (Esp.dmpstore_record("SocketPowerManagementConfig", R.PM_GUID, pm_attributes, pm)
            + Esp.dmpstore_record("SocketIioConfig", R.IIO_GUID, Esp.NV_BS_RT, iio))


REPORT_STEPS = [
    "dh -p " + R.FRU_GUID,
    "fs0:\\DeployProbe.efi",
    "reset -s",
]

DRIVER_OPTION_SCRIPT = [
    "fs0:",
    'if "%tavristage%" == "deployed" then',
    "  goto report",
    "endif",
    'bcfg driver add 0 fs0:\\TavriDxe.efi "TavriDxe"',
    'bcfg driver add 1 fs0:\\KcsIpmiDxe.efi "KCS IPMI transport"',
    'bcfg driver add 0 fs0:\\TavriOld.efi "TavriDxe, earlier build"',
    "rm fs0:\\TavriOld.efi",
    "dmpstore -all -l fs0:\\" + SETUP_FILE,
    "set tavristage deployed",
    "reset",
    ":report",
    "bcfg driver dump",
] + REPORT_STEPS

SHELL_LOAD_SCRIPT = [
    "fs0:",
    'if "%tavristage%" == "seeded" then',
    "  goto load",
    "endif",
    "dmpstore -all -l fs0:\\" + SETUP_FILE,
    "set tavristage seeded",
    ":load",
    "load fs0:\\TavriDxe.efi",
    "load fs0:\\KcsIpmiDxe.efi",
] + REPORT_STEPS


def esp_files(build, script, old_copy, pm_attributes=Esp.NV_BS_RT):
    files = {
        "startup.nsh": Esp.shell_script(script),
        "TavriDxe.efi": os.path.join(build, "TavriDxe.efi"),
        "KcsIpmiDxe.efi": os.path.join(build, "KcsIpmiDxe.efi"),
        "DeployProbe.efi": os.path.join(build, "DeployProbe.efi"),
        SETUP_FILE: setup_file(pm_attributes),
    }
    if old_copy:
        files["TavriOld.efi"] = os.path.join(build, "TavriDxe.efi")
    return files


def check_seeded(c, console):
    c.want("'%s:SocketPowerManagementConfig' DataSize = 0x20C" % R.PM_GUID in console,
           "dmpstore -l did not set SocketPowerManagementConfig (524 bytes)",
           "dmpstore -l set SocketPowerManagementConfig (524 bytes)")
    c.want("'%s:SocketIioConfig' DataSize = 0x56E7" % R.IIO_GUID in console,
           "dmpstore -l did not set SocketIioConfig (22,247 bytes)", "dmpstore -l set SocketIioConfig (22,247 bytes)")
    c.want("dmpstore: " not in console, "dmpstore reported an error", "dmpstore reported no error")


def check_running_boot(c, boot, parsed, loader, fru):
    """The boot that runs with the preset in force: the KCS writes of the FRU
    probe, then the CMOS marker; the FRU protocol in place; the variables."""
    _, in_force, iio = R.seeded_variables()
    c.want(boot["reset"] is None, "the boot with the preset in force reset again (0x%02X)" % (boot["reset"] or 0),
           "the boot with the preset in force did not reset")
    c.want(boot["kcs_before_cmos"] == R.PROBE_KCS_WRITES,
           "expected %d KCS port writes from the driver's FRU probe before the CMOS marker, saw %d"
           % (R.PROBE_KCS_WRITES, boot["kcs_before_cmos"]),
           "the FRU probe's %d KCS port writes came before the CMOS marker" % R.PROBE_KCS_WRITES)
    c.want(boot["cmos"] == R.CMOS_MARKER and boot["cmos_after_kcs"],
           "expected the CMOS marker writes after the KCS writes, saw %r" % boot["cmos"],
           "the CMOS marker right after the KCS writes")
    c.want("Handle dump by protocol '%s'" % R.FRU_GUID in boot["console"]
           and boot["console"].count(R.FRU_GUID) >= 2, "dh -p did not list a handle with the FRU access protocol",
           "the shell's dh -p lists a handle with the FRU access protocol")
    for path in ("\\TavriDxe.efi", "\\KcsIpmiDxe.efi"):
        c.want(R.loaded_by(parsed, path) == loader, "%s was loaded by %r, expected %s" % (path, R.loaded_by(parsed, path), loader),
               "%s loaded by %s" % (path, loader))
    c.want(parsed["pm"].get("in-force") == "9/9" and parsed["pm"].get("crc32") == R.crc(in_force),
           "SocketPowerManagementConfig is not the seeded bytes with preset 1 in force: %r" % parsed["pm"],
           "SocketPowerManagementConfig holds the seeded bytes with preset 1 in force (CRC32)")
    c.want(parsed["iio"].get("source-hob") == "absent", "stock OVMF unexpectedly has an IIO source HOB", "stock OVMF has no IIO source HOB")
    c.want(parsed["iio"].get("crc32") == R.crc(iio) and parsed["iio"].get("switch") == "1",
           "SocketIioConfig changed without an IIO source HOB: %r" % parsed["iio"],
           "SocketIioConfig unchanged without an IIO source HOB (CRC32)")
    c.want(parsed["fru"].get("status") == "0", "the FRU access protocol is not installed", "the FRU access protocol is installed")
    c.want(parsed["fru_read"].get("count") == "256" and parsed["fru_bytes"] == fru[:256],
           "a FRU read through the protocol did not return the BMC's FRU bytes",
           "ReadFruData returns the BMC's 256 FRU bytes")


def start_session(build, work, timeout, title, script, old_copy=False, pm_attributes=Esp.NV_BS_RT):
    """Run one shell session on stock OVMF and print it boot by boot; returns
    the session, its boots, each boot's parsed report and a fresh Checks with
    QEMU's own end already checked."""
    session = R.run_session(work, esp_files(build, script, old_copy, pm_attributes), timeout)
    boots = session.boots
    print("%s on stock OVMF (%s): %d boots in %.1f s" % (title, Q.OVMF_CODE, len(boots), session.elapsed))
    parsed = [R.print_boot(i + 1, b, CONSOLE_KEEP, build, work) for i, b in enumerate(boots)]
    c = R.Checks()
    c.want(session.rc == 0, "QEMU did not end by the guest's shutdown", "QEMU ended by the guest's shutdown")
    return session, boots, parsed, c


def driver_option(build, work, timeout):
    session, boots, parsed, c = start_session(build, work, timeout, "Driver#### (UEFI shell 2.2)", DRIVER_OPTION_SCRIPT, True)
    if not c.want(len(boots) == 3, "expected 3 boots (shell deploys, preset reset, preset in force), saw %d" % len(boots),
                  "three boots: the shell deploys, the preset reset, the preset in force"):
        return c.finish(session, "")
    first, cycle, running = boots
    for n in range(3):
        c.want("bcfg: Add Driver000%d as %d" % (n, 0 if n == 2 else n) in first["console"], "bcfg did not add Driver000%d" % n, "bcfg added Driver000%d" % n)
    c.want("Delete successful" in first["console"], "the shell did not delete TavriOld.efi", "the shell deleted TavriOld.efi")
    check_seeded(c, first["console"])
    c.want(first["reset"] == 0x06 and first["kcs_writes"] == 0 and not first["cmos"],
           "boot 1 should end in the shell's reset (0xCF9<-0x06) with the driver not yet loaded",
           "boot 1 ended in the shell's reset (0xCF9 <- 0x06), the driver not yet loaded")
    c.want(cycle["reset"] == 0x0E and cycle["reset_before_kcs"] and cycle["kcs_writes"] == 0 and not cycle["cmos"],
           "boot 2: the driver loaded by the boot manager should store the preset and reset (0xCF9<-0x0E) before any KCS write",
           "boot 2: the driver, loaded by the boot manager, reset (0xCF9 <- 0x0E) before any KCS write")
    c.want("Interactive Shell" not in cycle["console"], "boot 2 reached the shell before the preset reset", "boot 2 did not reach the shell before the preset reset")
    check_running_boot(c, running, parsed[2], "the boot manager", Fru.board_fru())
    missing_skipped = (R.loaded_by(parsed[2], "\\TavriOld.efi") is None and "Variable: Driver0002" in running["console"]
                       and "Interactive Shell" in running["console"])
    c.want(missing_skipped, "Driver0002, whose file is gone, did not leave the platform booting to the shell",
           "Driver0002, whose file is gone, skipped; the platform booted to the shell")
    print("\nDriver0002 points at \\TavriOld.efi, deleted after bcfg added it: the boot manager skipped it "
          "(not among the loaded images), loaded Driver0000 and Driver0001 after it and booted to the shell.")
    print("Stock OVMF has no IIO source HOB (source-hob=%s): the IIO import wrote nothing and SocketIioConfig "
          "still holds the seeded bytes." % parsed[2]["iio"].get("source-hob"))
    return c.finish(session, "All checks passed: bcfg Driver#### deployment, preset cycle, FRU protocol, CMOS marker, missing driver file skipped.")


def shell_load(build, work, timeout):
    session, boots, parsed, c = start_session(build, work, timeout, "Shell `load`", SHELL_LOAD_SCRIPT)
    if not c.want(len(boots) == 2, "expected 2 boots (load resets for the preset, load again), saw %d" % len(boots),
                  "two boots: load resets for the preset, load again"):
        return c.finish(session, "")
    first, running = boots
    check_seeded(c, first["console"])
    c.want("Image 'FS0:\\TavriDxe.efi' loaded at" in first["console"], "boot 1: load TavriDxe.efi did not succeed", "boot 1: load TavriDxe.efi succeeded")
    c.want(first["reset"] == 0x0E and first["reset_before_kcs"] and first["kcs_writes"] == 0,
           "boot 1: loading the KCS transport should run the hooks, which store the preset and reset (0xCF9<-0x0E)",
           "boot 1: loading the KCS transport ran the hooks, which reset (0xCF9 <- 0x0E) before any KCS write")
    for name in ("TavriDxe.efi", "KcsIpmiDxe.efi"):
        c.want("Image 'FS0:\\%s' loaded at" % name in running["console"], "boot 2: load %s did not succeed" % name, "boot 2: load %s succeeded" % name)
    check_running_boot(c, running, parsed[1], "the UEFI shell", Fru.board_fru())
    return c.finish(session, "All checks passed: shell load of both drivers, preset cycle, FRU protocol, CMOS marker.")


def volatile_preset(build, work, timeout):
    session, boots, parsed, c = start_session(build, work, timeout, "Shell `load`, SocketPowerManagementConfig volatile,",
                                              SHELL_LOAD_SCRIPT, pm_attributes=BS_RT)
    if not c.want(len(boots) == 1, "expected one boot: no preset reset for a volatile variable, saw %d" % len(boots),
                  "one boot: no preset reset for a volatile variable"):
        return c.finish(session, "")
    boot, report = boots[0], parsed[0]
    pm, _, _ = R.seeded_variables()
    c.want("'%s:SocketPowerManagementConfig' DataSize = 0x20C" % R.PM_GUID in boot["console"],
           "dmpstore -l did not set SocketPowerManagementConfig (524 bytes)")
    c.want(boot["reset"] != 0x0E, "the driver reset through 0xCF9 for a volatile variable", "no reset through 0xCF9")
    c.want(boot["kcs_before_cmos"] == R.PROBE_KCS_WRITES and boot["cmos"] == R.CMOS_MARKER,
           "the hooks after the preset did not run: %d KCS writes, CMOS %r" % (boot["kcs_before_cmos"], boot["cmos"]),
           "the hooks after the preset ran: the FRU probe and the CMOS marker")
    c.want(report["pm"].get("in-force") == "8/9" and report["pm"].get("crc32") == R.crc(pm),
           "the volatile SocketPowerManagementConfig was rewritten: %r" % report["pm"],
           "the volatile SocketPowerManagementConfig left as seeded (8 of 9, CRC32)")
    c.want(report["fru"].get("status") == "0", "the FRU access protocol is not installed", "the FRU access protocol is installed")
    return c.finish(session, "All checks passed: a volatile preset variable out of force is left alone, no reset, "
                             "the other hooks ran.")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--driver-option", action="store_true")
    mode.add_argument("--shell-load", action="store_true")
    mode.add_argument("--volatile-preset", action="store_true")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=300)
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="tavri-deploy-")
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    if args.driver_option:
        return driver_option(build, work, args.timeout)
    if args.volatile_preset:
        return volatile_preset(build, work, args.timeout)
    return shell_load(build, work, args.timeout)


if __name__ == "__main__":
    sys.exit(main())
