#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Boots the OVMF image built with TavriDxe inside (Scripts/BuildFirmware.sh)
and checks from outside what the firmware and the driver did.

No app loads the driver: the DXE core dispatches TavriDxe and the KCS IPMI
transport from the firmware volume, and the boot manager starts the boot
option, PlatformCheckApp (BOOTX64.EFI), which seeds the setup variables on its
first run and reports on port 0xE9 on later runs. What is read: the firmware's
DEBUG log (port 0x402), the report, ports 0x72/0x73, and QEMU's trace of every
I/O write (the KCS interface and the reset control register at 0xCF9).

  --image source           TavriDxe built from source by EDK2's build (its
                           source INF), before the transport (the recipe): the
                           preset cycle, the FRU probe, the CMOS marker and the
                           IIO import from the PEI-built HOB.
  --image binary           the same with the standalone TavriDxe.efi through
                           the binary INF, as a team that takes a built image.
  --image transport-first  the transport with no dependency: the core starts it
                           before the variable write service and before
                           TavriDxe, and no hook of TavriDxe runs, as designed.

  --image transport2       the transport's IPMI_TRANSPORT2 face (UINT32 sizes, a
                           non-zero completion code as EFI_DEVICE_ERROR) with
                           TavriDxe's dependency: the same cycle.
  --image transport2-published-depex
                           that face with the dependency GenericIpmi
                           publishes: it starts before TavriDxe, and no hook of
                           TavriDxe runs.
  --image ipmi-protocol    EDK2's own IPMI stack: the transport's IPMI_PROTOCOL
                           face (EDK2's IPMI driver as measured, no dependency)
                           starts before the variable services, then
                           TavriDxe, then IpmiProtocolBridgeDxe installs the
                           transport: the same cycle, and FruSmbiosDxe (in
                           this flash only) puts the FRU's values in SMBIOS,
                           as the boot option finds them.

  --firmware DIR           the folder of flash images under BUILD_DIR (or a
                           path): firmware (the first EDK2 generation, the
                           default) or firmware-VERSION, one per EDK2 version
                           Scripts/BuildFirmware.sh builds.

Usage: python3 -m Harness.BootFirmware BUILD_DIR [--image IMAGE] [--firmware DIR] [--work DIR]
"""

import argparse
import os
import re
import shutil
import sys
import tempfile

from . import Collect as C
from . import Fru
from . import Qemu as Q
from . import SmbiosOnOvmf as S
from . import Words as W

IMAGES = {"source": "OVMF_CODE.fd", "binary": "OVMF_CODE.binary.fd",
          "transport-first": "OVMF_CODE.transport-first.fd", "transport2": "OVMF_CODE.transport2.fd",
          "transport2-published-depex": "OVMF_CODE.transport2-published-depex.fd",
          "ipmi-protocol": "OVMF_CODE.ipmi-protocol.fd"}
# The transport each image dispatches, and the images where it comes too early
# for TavriDxe.
TRANSPORTS = {"transport2": "KcsIpmiDxeTransport2", "transport2-published-depex": "KcsIpmiDxeTransport2",
              "ipmi-protocol": "IpmiProtocolBridgeDxe"}
TOO_EARLY = ("transport-first", "transport2-published-depex")
# Where EDK2's IPMI driver installs IPMI_PROTOCOL, the bridge the transport
# over it, and FruSmbiosDxe is in the flash too.
IPMI_PROTOCOL_DRIVER = {"ipmi-protocol": "KcsIpmiDxeIpmiProtocol"}
IPMI_PROTOCOL_GUID = "DBC6381F-5554-4D14-8FFD-76D787B8ACBF"
TAVRI_FILE_GUID = "CB3793D6-4CAA-4848-B5CF-A012F4A546F9"
IPMI_TRANSPORT_GUID = "4A1D0E66-5271-4E22-83FE-90921B748213"
FRU_ACCESS_GUID = "6AF735B6-7E0D-41CF-8431-D32FB7ACC023"
VARIABLE_WRITE_ARCH_GUID = "6441F818-6362-4E44-B570-7DBA31DD2453"
PROBE_COMMANDS = 16
# PlatformCheckApp reads 256 bytes of FRU device 0: 16 Read FRU Data commands.
APP_READ_COMMANDS = 16


def add_firmware_argument(parser):
    parser.add_argument("--firmware", default="firmware",
                        help="folder of the flash images under BUILD_DIR: firmware or firmware-VERSION")


def firmware_dir(build, firmware):
    """The folder of one EDK2 generation's flash images (BuildFirmware.sh)."""
    return os.path.join(build, firmware)


def run(build, work, image, timeout, bmc=None, extra=(), firmware="firmware"):
    """Boot the image of the EDK2 generation in BUILD/firmware; bmc is QEMU's
    BMC arguments (QEMU's own BMC serving the board's FRU image when None),
    extra more QEMU arguments."""
    folder = firmware_dir(build, firmware)
    code = os.path.join(folder, IMAGES[image])
    if not os.path.exists(code):
        sys.exit("%s is missing: run Scripts/BuildFirmware.sh %s first" % (code, build))
    version = os.path.join(folder, "edk2-version")
    if os.path.exists(version):
        with open(version) as f:
            print("Flash image %s, OVMF from EDK2 %s" % (code, f.read().strip()))
    esp = os.path.join(work, "esp")
    shutil.rmtree(esp, ignore_errors=True)
    os.makedirs(os.path.join(esp, "EFI", "BOOT"))
    shutil.copy(os.path.join(build, "PlatformCheckApp.efi"), os.path.join(esp, "EFI", "BOOT", "BOOTX64.EFI"))
    fru = Fru.write_fru(os.path.join(work, "fru0.bin"), Fru.board_fru())
    result = Q.boot(work, timeout, Q.qemu_bmc_args(fru) if bmc is None else bmc, esp=esp, code=code,
                    captures=dict(Q.CAPTURE_REPORT, **Q.CAPTURE_CMOS, **Q.CAPTURE_DEBUG), extra=extra)
    result.fru = Fru.board_fru()
    result.io = result.boots_by_cpu_reset()
    return result


def check_common(result, want):
    debug = result.text("debug")
    want(result.rc == 0, "QEMU exit status %r (%s)" % (result.rc, result.qemu.strip()[-300:]), "QEMU ended by the guest's shutdown")
    want("ASSERT" not in debug, "the firmware ASSERTed: " + "".join(re.findall(r".*ASSERT.*", debug)[:2]), "no ASSERT in the DEBUG log")
    for n, boot in enumerate(C.debug_boots(debug), 1):
        want("IioHobPei: IIO source HOB of 7229 data bytes" in boot, "boot %d: the test PEIM left no IIO source HOB" % n)
        #
        # The core loads TavriDxe without an error line: no preferred base to
        # ask for, and a CodeView entry that gives its name.
        #
        block = boot.split("Loading driver " + TAVRI_FILE_GUID, 1)[-1].split("Loading driver ", 2)
        want(len(block) > 1 and "TavriDxe.efi" in block[1], "boot %d: the core's log does not name TavriDxe" % n)
        want(len(block) > 1 and "ConvertPages: failed" not in block[0] + block[1],
             "boot %d: the core logged an error loading TavriDxe" % n)


def commands(boot):
    return boot["ipmi_commands"]


def reset_before_kcs(boot):
    """The value of a reset written to 0xCF9 before any KCS write, or None."""
    return boot["reset"] if boot["reset_before_kcs"] else None


def load_order(image):
    """The modules of ours (and the variable driver) in the order the core
    must load them. EDK2's IPMI driver starts in the core's first pass, as
    the variable driver does; that it comes before the variable write
    service is checked on the protocols installed."""
    if image in IPMI_PROTOCOL_DRIVER:
        return [IPMI_PROTOCOL_DRIVER[image], "TavriDxe", TRANSPORTS[image]]
    return ["VariableRuntimeDxe", "TavriDxe", TRANSPORTS.get(image, "KcsIpmiDxe")]


def smbios_commands(image, fru):
    """Read FRU Data commands FruSmbiosDxe sends where it is in the flash: the
    8-byte header, then for each of the chassis, board and product areas its
    first 2 bytes and the rest of its length, each read in chunks of 16."""
    if image not in IPMI_PROTOCOL_DRIVER:
        return 0
    count = 1
    for at in (fru[2], fru[3], fru[4]):
        if at:
            count += 1 + -(-(fru[at * 8 + 1] * 8 - 2) // 16)
    return count


def check_smbios(c, build, result):
    """The FRU's values in SMBIOS types 1-3 as the boot option finds them on
    the report run: each value FruSmbiosDxe takes (QEMU's stock tables hold
    none of them)."""
    path = os.path.join(result.work, "fru-smbios.bin")
    Fru.write_fru(path, result.fru)
    fru = S.image_values(build, path)
    seen = S.parse_report(result.text("report")).get("firmware", {})
    taken = [(name, kind, field) for name, kind, field in S.MAPPING if S.usable(name, fru.get(name))]
    wrong = ["type%d.%s is %r, the FRU's %s %r" % (kind, field, (seen.get(kind) or {}).get(field), name, fru[name])
             for name, kind, field in taken if (seen.get(kind) or {}).get(field) != fru[name]]
    c.want(len(taken) >= 8 and not wrong, "SMBIOS does not hold the FRU's values: %s" % ("; ".join(wrong) or "no FRU values decoded"),
           "SMBIOS types 1-3 hold the FRU's %d values (FruSmbiosDxe from the flash)" % len(taken))


def check_normal(result, image="source", app_ops_commands=0):
    """The whole cycle; app_ops_commands is the number of IPMI commands the
    harness's FRU operations add to boot 3."""
    c = C.Checks()
    want = c.want
    check_common(result, want)
    boots, io, report = C.debug_boots(result.text("debug")), result.io, result.text("report")
    want(len(boots) == 3, "expected three boots (seed, preset reset, report), saw %d" % len(boots), "three boots: seed, preset reset, report")
    want(len(io) == 3, "expected I/O of three boots, saw %d" % len(io), "QEMU's trace shows three boots")
    expected = load_order(image)
    for n, boot in enumerate(boots, 1):
        order = [m for m in C.debug_loads(boot) if m in expected]
        want(order == expected, "boot %d: the core loaded %s, expected %s" % (n, order, ", ".join(expected)))
        if image in IPMI_PROTOCOL_DRIVER:
            want(("InstallProtocolInterface: " + IPMI_PROTOCOL_GUID) in boot.split("InstallProtocolInterface: " + VARIABLE_WRITE_ARCH_GUID)[0],
                 "boot %d: IPMI_PROTOCOL not installed before the variable write service" % n)
        want(("InstallProtocolInterface: " + IPMI_TRANSPORT_GUID) in boot, "boot %d: no IPMI transport installed" % n)
    if image in IPMI_PROTOCOL_DRIVER:
        want(True, "", "each boot: IPMI_PROTOCOL installed before the variable write service; the core loaded %s in that order; the bridge installed the transport" % ", ".join(expected))
    smbios = smbios_commands(image, result.fru)
    also = " and FruSmbiosDxe's %d" % smbios if smbios else ""
    if len(boots) == 3 and len(io) == 3:
        want(("InstallProtocolInterface: " + FRU_ACCESS_GUID) in boots[0], "boot 1: no FRU access protocol", "boot 1: the FRU access protocol installed")
        want(commands(io[0]) == PROBE_COMMANDS + smbios, "boot 1: %d IPMI commands, expected the probe's 16%s" % (commands(io[0]), also),
             "boot 1: the FRU probe's 16 IPMI commands" + also)
        #
        # Boot 2 finds the seeded preset out of force: stored, then the reset
        # through 0xCF9 inside the first hook, before any IPMI command.
        #
        want(reset_before_kcs(io[1]) == 0x0E, "boot 2: no 0x0E to 0xCF9 before the first KCS write (%s)" % io[1]["reset_writes"], "boot 2: 0xCF9 <- 0x0E before any KCS write")
        want(commands(io[1]) == 0, "boot 2: %d IPMI commands before the reset" % commands(io[1]), "boot 2: no IPMI command before the reset")
        want(("InstallProtocolInterface: " + FRU_ACCESS_GUID) not in boots[1], "boot 2: hooks ran past the reset", "boot 2: no hook ran past the reset")
        ops = " + %d for the harness's FRU operations" % app_ops_commands if app_ops_commands else ""
        want(commands(io[2]) == PROBE_COMMANDS + smbios + APP_READ_COMMANDS + app_ops_commands,
             "boot 3: %d IPMI commands, expected 16%s + the app's 16 for its 256-byte read%s" % (commands(io[2]), also, ops),
             "boot 3: the probe's 16 IPMI commands%s and the app's 16 for its 256-byte read%s" % (also, ops))
    want(result.data("p72") == b"\x81" * 6 and result.data("p73") == b"\x55" * 2,
         "CMOS marker: ports 0x72/0x73 saw %s / %s, expected the sequence in boots 1 and 3" % (result.data("p72").hex(), result.data("p73").hex()),
         "the CMOS marker written in boots 1 and 3")
    want("app-run 1" in report and "seed pm=0 iio=0" in report, "the app did not seed the variables", "the app seeded both setup variables")
    want("pm status=0 selector=1 in-force=9/9" in report, "the preset is not in force after the cycle", "preset 1 in force after the cycle (9 of 9)")
    want("iio status=0 size=22247 from-pei-hob=144/144 switch=1" in report, "SocketIioConfig does not hold the PEI HOB's 144 bytes", "SocketIioConfig holds the PEI HOB's 144 bytes")
    want("fru-protocol status=0" in report, "the FRU access protocol is not installed when the OS loader runs", "the FRU access protocol is there when the OS loader runs")
    header = "".join("%02X" % b for b in result.fru[:8])
    want("fru-read status=0 count=256 header=" + header in report and C.parse(report)["fru_bytes"] == result.fru[:256],
         "FRU read through the protocol differs from the FRU file", "ReadFruData returns the FRU file's first 256 bytes")
    want("fru-write-past-end status=error:2 count=17" in report, "a write past 0xFFFF was not refused with its count untouched", "a write past 0xFFFF refused with EFI_INVALID_PARAMETER, count untouched")
    want("TAVRI done" in report, "the app did not finish", "the app finished")
    return c


def check_transport_first(result, transport="KcsIpmiDxe", before_write=True):
    c = C.Checks()
    want = c.want
    check_common(result, want)
    boots, report = C.debug_boots(result.text("debug")), result.text("report")
    want(len(boots) == 2, "expected two boots (seed, report), saw %d" % len(boots), "two boots: seed, report")
    for n, boot in enumerate(boots, 1):
        #
        # The transport is started before TavriDxe, whose registration then
        # comes too late. With no dependency at all it starts before the
        # variable write service exists too; with GenericIpmi's (runtime and
        # variable read services) the core schedules it in the pass after the
        # read service, while the write service is installed, ahead of
        # TavriDxe, which waits for the write service.
        #
        at = lambda text: boot.find(text) if text in boot else len(boot)  # noqa: E731
        kcs, write, tavri = at(" %s.efi" % transport), at("InstallProtocolInterface: " + VARIABLE_WRITE_ARCH_GUID), at(" TavriDxe.efi")
        want(kcs < tavri, "boot %d: expected the transport before TavriDxe" % n)
        want(kcs < write or not before_write, "boot %d: expected the transport before the variable write service" % n)
        want(write < tavri, "boot %d: expected the variable write service before TavriDxe" % n)
        want(("InstallProtocolInterface: " + FRU_ACCESS_GUID) not in boot, "boot %d: a hook ran" % n)
    want(all(commands(b) == 0 and reset_before_kcs(b) != 0x0E for b in result.io), "an IPMI command or a 0xCF9 reset happened", "no IPMI command, no driver reset")
    want(result.data("p72") == b"" and result.data("p73") == b"", "the CMOS marker was written", "no CMOS marker written")
    want("pm status=0 selector=1 in-force=8/9" in report, "the preset was touched", "the preset untouched (8 of 9)")
    want(re.search(r"iio status=0 size=22247 from-pei-hob=(\d+)/144", report) is not None
         and "from-pei-hob=144/144" not in report, "SocketIioConfig was imported")
    want("fru-protocol status=error:14" in report, "the FRU access protocol is installed", "no FRU access protocol")
    want("TAVRI done" in report, "the app did not finish", "the app finished")
    return c


def entry_offset(path):
    """AddressOfEntryPoint of a PE32+ image."""
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 0x28:pe + 0x2C], "little")


def check_integration(c, result, build, image, firmware="firmware"):
    """The TavriDxe the core loaded is the one this integration puts in the
    volume: EDK2's own build of it, or the standalone image."""
    built = (os.path.join(build, "TavriDxe.efi") if image == "binary"
             else os.path.join(firmware_dir(build, firmware), "TavriDxe.efi"))
    if not os.path.exists(built):
        c.want(False, "%s is missing: the firmware build did not keep the TavriDxe image it put in the volume" % built)
        return
    loaded = set((int(e, 16) - int(b, 16)) for b, e in
                 re.findall(r"Loading driver at 0x([0-9A-F]+) EntryPoint=0x([0-9A-F]+) TavriDxe\.efi", result.text("debug")))
    c.want(loaded == {entry_offset(built)},
           "TavriDxe loaded with entry offsets %s, expected 0x%X of %s" % (sorted(hex(o) for o in loaded), entry_offset(built), built),
           "the core loaded the TavriDxe of this integration (%s)" % ("the standalone image" if image == "binary" else "EDK2's build"))


def print_report(build, result, image):
    print("OVMF built with TavriDxe inside (%s), QEMU q35 with QEMU's BMC on KCS: %.1f s for the whole run"
          % (image, result.elapsed))
    debug = C.debug_boots(result.text("debug"))
    for n, boot in enumerate(debug, 1):
        io = result.io[n - 1] if n <= len(result.io) else None
        order = [m for m in C.debug_loads(boot) if m in load_order(image)]
        print("\nBoot %d:" % n)
        hob = re.search(r"IioHobPei: (.*)", boot)
        if hob:
            print("  PEI: " + hob.group(1).strip() + ".")
        print("  The DXE core loaded %s, in that order." % ", ".join(order) if order else "  The DXE core loaded none of ours.")
        print("  IPMI transport %s; FRU access protocol %s." % (
            "installed" if ("InstallProtocolInterface: " + IPMI_TRANSPORT_GUID) in boot else "not installed",
            "installed by TavriDxe" if ("InstallProtocolInterface: " + FRU_ACCESS_GUID) in boot else "not installed"))
        if io is None:
            continue
        print("  At the ports: %d IPMI commands on KCS; CMOS %s." % (
            io["ipmi_commands"], " ".join("0x%02X<-0x%02X" % w for w in io["cmos"]) or "not written"))
        report = C.parse(io["report"])
        for body in report["lines"]:
            sentence = W.say(body)
            if sentence is not None:
                print("  PlatformCheckApp: " + sentence + ".")
            if body.startswith("smbios firmware ") and image in IPMI_PROTOCOL_DRIVER:
                print("  SMBIOS (FruSmbiosDxe from the flash): " + body[len("smbios firmware "):])
            if body.startswith("fru-read") and report["fru_bytes"]:
                lines, _ = W.fru_lines(build, result.work, report["fru_bytes"], "  FRU device 0 as read through the protocol", "  ")
                print("\n".join(lines))
        if io["reset"] == 0x0E:
            print("  The boot ended with 0x0E written to 0xCF9%s: the driver's preset reset, made when it finds the "
                  "selected preset not in force and has stored it." % (" before any KCS write" if io["reset_before_kcs"] else ""))
        elif io["reset"] is not None:
            print("  The boot ended with 0x%02X written to 0xCF9 (%s)." % (io["reset"], C.RESETS.get(io["reset"], "a reset")))
        else:
            print("  No reset: the boot ran to its end (the app shuts the machine down).")
    print("\nPort 0x72 writes over the run: %s; port 0x73: %s" % (
        " ".join("%02X" % b for b in result.data("p72")) or "none", " ".join("%02X" % b for b in result.data("p73")) or "none"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--image", choices=sorted(IMAGES), default="source")
    add_firmware_argument(parser)
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=300)
    args = parser.parse_args()
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tavri-firmware-"))
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)
    result = run(build, work, args.image, args.timeout, firmware=args.firmware)
    transport = TRANSPORTS.get(args.image, "KcsIpmiDxe")
    if args.image in TOO_EARLY:
        c = check_transport_first(result, transport, before_write=(args.image == "transport-first"))
    else:
        c = check_normal(result, args.image)
    if args.image in IPMI_PROTOCOL_DRIVER:
        check_smbios(c, build, result)
    if args.image not in TOO_EARLY:
        check_integration(c, result, build, args.image, args.firmware)
    print_report(build, result, args.image)

    def dump():
        result.failure_dump()
        print("--- DEBUG log, last lines (port 0x402, all of it in %s) ---" % os.path.join(work, "debug.bin"))
        print("\n".join(result.text("debug").splitlines()[-60:]))

    if args.image in IPMI_PROTOCOL_DRIVER:
        message = ("All checks passed: EDK2's IPMI driver first, TavriDxe, then the bridge's transport over IPMI_PROTOCOL;"
                   " the preset cycle with the reset before any IPMI command, the FRU probe, the CMOS marker, the IIO"
                   " import from the PEI HOB, the FRU's values in SMBIOS.")
    elif args.image not in TOO_EARLY:
        message = ("All checks passed: dispatched by the DXE core before the transport, the preset cycle with the reset"
                   " before any IPMI command, the FRU probe, the CMOS marker, the IIO import from the PEI HOB.")
    else:
        message = "All checks passed: with the transport started first (%s), no hook of TavriDxe ran." % transport
    return c.finish(result, message, dump)


if __name__ == "__main__":
    sys.exit(main())
