# SPDX-License-Identifier: BSD-2-Clause-Patent
"""What the deployment tests on stock OVMF share: the setup variables they
seed, a session (an ESP image, QEMU's BMC, every port write traced, split
into boots at each reset), and a boot-by-boot account of it in words.
"""

import os
import zlib

from . import Collect as C
from . import Esp
from . import Fru
from . import Qemu as Q
from . import Words as W

FRU_GUID = "6AF735B6-7E0D-41CF-8431-D32FB7ACC023"
PM_GUID = "A1047342-BDBA-4DAE-A67A-40979B65C7F8"
IIO_GUID = "DD84017E-7F52-48F9-B16E-50ED9E0DBE27"

# Firmware-volume files of OVMF that load images: the boot manager (BdsDxe)
# and the built-in UEFI shell.
LOADERS = {
    "FvFile(6D33944A-EC75-4855-A54D-809C75241F6C)": "the boot manager",
    "FvFile(7C04A583-9E3E-4F1C-AD65-E05268D0B4D1)": "the UEFI shell",
}

# SocketPowerManagementConfig: selector byte, and preset 1's nine bytes.
PM_SIZE = 524
PM_SELECTOR = 419
PRESET_1 = ((4, 1), (17, 1), (28, 1), (55, 2), (58, 1), (59, 1), (63, 1), (86, 1), (87, 15))
IIO_SIZE = 22247
IIO_SWITCH = 18251

# Read FRU Data through KCS: a write transfer of 8 port writes (WRITE_START,
# five request bytes, WRITE_END, the last byte) and a read transfer of one
# READ per response byte (NetFn, command, completion code, count, 16 data
# bytes); the driver's probe sends 16 of them.
KCS_WRITES_PER_READ = 8 + 20
PROBE_KCS_WRITES = 16 * KCS_WRITES_PER_READ
CMOS_MARKER = [(0x72, 0x81), (0x72, 0x81), (0x73, 0x55), (0x72, 0x81)]

EFI_ACCESS_DENIED = "error:15"
EFI_SECURITY_VIOLATION = "error:26"
EFI_NOT_FOUND = "error:14"
Checks = C.Checks


def seeded_variables():
    """The setup variables as an engineer seeds them: preset 1 selected with
    byte 87 off the preset (so it is not in force), and the IIO import switch
    on. Returns (pm, pm with the preset in force, iio)."""
    pm = bytearray(PM_SIZE)
    pm[PM_SELECTOR] = 1
    for offset, value in PRESET_1:
        pm[offset] = value
    in_force = bytes(pm)
    pm[87] = 14
    iio = bytearray(IIO_SIZE)
    iio[IIO_SWITCH] = 1
    return bytes(pm), in_force, bytes(iio)


def crc(data):
    return "%08X" % (zlib.crc32(data) & 0xFFFFFFFF)


def loaded_by(parsed, path):
    """Who loaded the image at path ("the boot manager", "the UEFI shell", the
    parent's path), or None when no such image is loaded."""
    for image, parent in parsed["images"]:
        if image == path:
            return LOADERS.get(parent, parent)
    return None


def run_session(work, files, timeout, secure=False, extra_args=()):
    """Boot stock OVMF (or the Secure Boot build) with an ESP image holding
    files, QEMU's BMC serving the FRU file, and every port write traced,
    until the guest shuts down or the time limit. With a startup.nsh in files
    this is a UEFI shell session. Returns the collector's result, its boots
    (split at each reset through 0xCF9) in result.boots."""
    fru = Fru.write_fru(os.path.join(work, "fru0.bin"), Fru.board_fru())
    esp = Esp.fat_image(os.path.join(work, "esp.img"), files)
    result = Q.boot(work, timeout, Q.qemu_bmc_args(fru), disk=esp, secure=secure, extra=extra_args)
    result.boots = result.boots_by_reset_register()
    return result


def port_story(boot):
    """The boot's port writes in words."""
    parts = []
    if boot["ipmi_commands"]:
        parts.append("%d IPMI commands on KCS" % boot["ipmi_commands"])
    else:
        parts.append("no IPMI command")
    if boot["cmos"]:
        parts.append("CMOS %s%s" % (" ".join("0x%02X<-0x%02X" % w for w in boot["cmos"]),
                                    " right after the KCS writes" if boot["cmos_after_kcs"] else ""))
    else:
        parts.append("no CMOS write")
    if boot["reset"] is None:
        parts.append("no reset")
    else:
        who = C.RESETS.get(boot["reset"], "an unknown reset")
        parts.append("ended by 0x%02X to 0xCF9 (%s)%s" % (boot["reset"], who, " before any KCS write" if boot["reset_before_kcs"] and boot["reset"] == 0x0E else ""))
    return "; ".join(parts)


def print_boot(number, boot, console_keep=(), build=None, work=None):
    """One boot: its ports, the console lines worth reading, the report in
    words, and the FRU bytes read decoded by frutool."""
    print("\nBoot %d (%.1f s): %s." % (number, boot["seconds"], port_story(boot)))
    for line in boot["console"].splitlines():
        if any(key in line for key in console_keep):
            print("  console | " + line.strip())
    parsed = C.parse(boot["report"])
    for line in parsed["lines"]:
        if line.startswith("image "):
            parent = C.fields(line).get("parent")
            print("  report  | Loaded image %s, loaded by %s" % (C.fields(line).get("path"), LOADERS.get(parent, parent + " (not a firmware loader)")))
            continue
        sentence = W.say(line)
        if sentence is not None:
            print("  report  | " + sentence)
    if parsed["fru_bytes"] and build is not None:
        lines, _ = W.fru_lines(build, work, parsed["fru_bytes"], "  report  | FRU device 0 through the FRU access protocol", "  report  |")
        print("\n".join(lines))
    return parsed
