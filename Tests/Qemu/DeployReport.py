"""What the deployment tests read and print: the setup variables they seed,
the "TAVRI ..." lines of the probe and the Secure Boot loader (debug port
0xE9), and a boot-by-boot account of a session.
"""

import zlib

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
# Writes to 0xCF9 that end a boot: OVMF's ResetSystem (the shell's reset,
# the loader's) writes 0x06; the driver's preset reset writes 0x0E.
RESETS = {0x06: "firmware ResetSystem", 0x0E: "the driver's preset reset"}
CMOS_MARKER = [(0x72, 0x81), (0x72, 0x81), (0x73, 0x55), (0x72, 0x81)]

EFI_ACCESS_DENIED = "error:15"
EFI_SECURITY_VIOLATION = "error:26"
EFI_NOT_FOUND = "error:14"


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


def fields(line):
    """key=value tokens of a report line."""
    return dict(token.split("=", 1) for token in line.split() if "=" in token)


def parse(report):
    """The report lines of one boot, gathered by kind."""
    out = {"lines": [], "images": [], "loads": [], "options": [], "fru_bytes": b"",
           "pm": {}, "iio": {}, "fru": {}, "fru_read": {}, "firmware": {}, "loader": {}, "seed": {}}
    dump = bytearray()
    for line in report.splitlines():
        if not line.startswith("TAVRI "):
            continue
        body = line[len("TAVRI "):]
        out["lines"].append(body)
        kind = body.split(" ", 1)[0]
        f = fields(body)
        if kind == "image":
            out["images"].append((f.get("path"), f.get("parent")))
        elif kind == "load":
            out["loads"].append(f)
        elif kind == "driver-option":
            out["options"].append(f)
        elif kind == "fru-data":
            dump += bytes(int(x, 16) for x in body.split()[2:])
        elif kind in ("pm", "iio", "firmware", "loader", "seed"):
            out[kind] = f
        elif kind == "fru-protocol":
            out["fru"] = f
        elif kind == "fru-read":
            out["fru_read"] = f
    out["fru_bytes"] = bytes(dump)
    return out


def loaded_by(parsed, path):
    """Who loaded the image at path ("the boot manager", "the UEFI shell", the
    parent's path), or None when no such image is loaded."""
    for image, parent in parsed["images"]:
        if image == path:
            return LOADERS.get(parent, parent)
    return None


def port_story(boot):
    """The boot's port writes in words."""
    parts = []
    if boot["kcs_writes"] and boot["cmos"]:
        parts.append("%d KCS port writes before the CMOS marker (%d in all)" % (boot["kcs_before_cmos"], boot["kcs_writes"]))
    elif boot["kcs_writes"]:
        parts.append("%d KCS port writes" % boot["kcs_writes"])
    else:
        parts.append("no KCS port write")
    if boot["cmos"]:
        parts.append("CMOS %s%s" % (" ".join("%02X<-%02X" % w for w in boot["cmos"]),
                                    " right after them" if boot["cmos_after_kcs"] else ""))
    else:
        parts.append("no CMOS write")
    if boot["reset"] is None:
        parts.append("no reset")
    else:
        who = RESETS.get(boot["reset"], "an unknown reset")
        parts.append("0xCF9<-0x%02X (%s)%s" % (boot["reset"], who, " before any KCS write" if boot["reset_before_kcs"] and boot["reset"] == 0x0E else ""))
    return ", ".join(parts)


def print_boot(number, boot, console_keep=()):
    """One boot: its ports, the console lines worth reading, the report."""
    print("  boot %d (%.1f s): %s" % (number, boot["seconds"], port_story(boot)))
    for line in boot["console"].splitlines():
        if any(key in line for key in console_keep):
            print("    console| " + line.strip())
    parsed = parse(boot["report"])
    for line in parsed["lines"]:
        if line.startswith("image "):
            parent = fields(line).get("parent")
            line += " (%s)" % LOADERS.get(parent, "not a firmware loader")
        if not line.startswith("fru-data"):
            print("    report | " + line)
    if parsed["fru_bytes"]:
        print("    report | FRU device 0 through the FRU access protocol:")
        data = parsed["fru_bytes"]
        for row in range(0, len(data), 16):
            print("    report |   %04X  %s" % (row, " ".join("%02X" % b for b in data[row:row + 16])))
    return parsed


class Checks:
    """Collects failed expectations, each with what was expected."""

    def __init__(self):
        self.problems = []

    def want(self, cond, what):
        if not cond:
            self.problems.append(what)
        return cond

    def finish(self, session, passed_message):
        if self.problems:
            print("\nFAILED:")
            for p in self.problems:
                print("  - " + p)
            print("\nQEMU: %r %s" % (session["rc"], session["qemu"].strip()[-300:]))
            print("--- console (serial), last 6000 characters ---\n" + session["console"][-6000:])
            return 1
        print("\n" + passed_message)
        return 0
