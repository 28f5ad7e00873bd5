#!/usr/bin/env python3
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

Usage: BootFirmware.py BUILD_DIR [--image source|binary|transport-first] [--work DIR]
"""

import argparse
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "Qemu"))
import QemuRun as Q  # noqa: E402

IMAGES = {"source": "OVMF_CODE.fd", "binary": "OVMF_CODE.binary.fd",
          "transport-first": "OVMF_CODE.transport-first.fd", "transport2": "OVMF_CODE.transport2.fd",
          "transport2-published-depex": "OVMF_CODE.transport2-published-depex.fd"}
# The transport each image dispatches, and whether it comes too early for TavriDxe.
TRANSPORTS = {"transport2": "KcsIpmiDxeTransport2", "transport2-published-depex": "KcsIpmiDxeTransport2"}
TOO_EARLY = ("transport-first", "transport2-published-depex")
TAVRI_FILE_GUID = "CB3793D6-4CAA-4848-B5CF-A012F4A546F9"
IPMI_TRANSPORT_GUID = "4A1D0E66-5271-4E22-83FE-90921B748213"
FRU_ACCESS_GUID = "6AF735B6-7E0D-41CF-8431-D32FB7ACC023"
VARIABLE_WRITE_ARCH_GUID = "6441F818-6362-4E44-B570-7DBA31DD2453"
KCS_WRITE_START = 0x61
PROBE_COMMANDS = 16


def run(build, work, image, timeout):
    code = os.path.join(build, "firmware", IMAGES[image])
    if not os.path.exists(code):
        sys.exit("%s is missing: run Scripts/BuildFirmware.sh %s first" % (code, build))
    esp = os.path.join(work, "esp")
    shutil.rmtree(esp, ignore_errors=True)
    os.makedirs(os.path.join(esp, "EFI", "BOOT"))
    shutil.copy(os.path.join(build, "PlatformCheckApp.efi"), os.path.join(esp, "EFI", "BOOT", "BOOTX64.EFI"))
    fru = os.path.join(work, "fru0.bin")
    with open(fru, "wb") as f:
        f.write(Q.fru_file())
    files = Q.fresh_files(work, ("debug.log", "report.txt", "port72.bin", "port73.bin", "console.log", "io-trace.log"))
    events = os.path.join(work, "trace-events")
    with open(events, "w") as f:
        f.write("memory_region_ops_write\nguest_cpu_reset\n")
    cmd = (Q.machine_args(code=code, vars_fd=Q.copy_vars(work)) + ["-serial", "file:" + files["console.log"]]
           + Q.esp_args(esp) + Q.qemu_bmc_args(fru) + Q.cmos_capture_args(files)
           + Q.debugcon_args("dbg", 0x402, files["debug.log"])
           + Q.debugcon_args("rep", 0xE9, files["report.txt"])
           + ["-trace", "events=%s,file=%s" % (events, files["io-trace.log"])])
    rc, out, elapsed = Q.run(cmd, timeout)
    return {
        "rc": rc, "qemu": out, "elapsed": elapsed, "fru": Q.fru_file(),
        "debug": Q.read_file(files["debug.log"]), "report": Q.read_file(files["report.txt"]),
        "p72": Q.read_file(files["port72.bin"], True), "p73": Q.read_file(files["port73.bin"], True),
        "io": io_by_boot(files["io-trace.log"]),
    }


def io_by_boot(path):
    """The I/O writes that matter, boot by boot: the KCS interface and the reset
    control register, split at each processor reset."""
    boots = [[]]
    if not os.path.exists(path):
        return []
    with open(path, errors="replace") as f:
        for line in f:
            if "guest_cpu_reset" in line:
                if boots[-1]:
                    boots.append([])
                continue
            m = re.search(r"addr (0x[0-9a-f]+) value (0x[0-9a-f]+) size \d+ name '(ipmi-kcs|lpc-reset-control)'", line)
            if m:
                boots[-1].append((m.group(3), int(m.group(1), 16), int(m.group(2), 16)))
    return [b for b in boots if b]


def debug_boots(debug):
    """The DEBUG log, one piece per boot (each boot starts in SEC)."""
    return [p for p in re.split(r"(?=SecCoreStartupWithStack)", debug) if p.startswith("SecCoreStartupWithStack")]


def loads(boot):
    """Modules the core loaded, in order, by the name its log prints."""
    return re.findall(r"Loading driver at 0x[0-9A-F]+ EntryPoint=0x[0-9A-F]+ (\S+)\.efi", boot)


def commands(writes):
    """IPMI commands on the KCS interface: each starts with WRITE_START."""
    return sum(1 for name, _, value in writes if name == "ipmi-kcs" and value == KCS_WRITE_START)


def reset_before_kcs(writes):
    for name, _, value in writes:
        if name == "ipmi-kcs":
            return None
        if name == "lpc-reset-control":
            return value
    return None


def check_common(result, want):
    want(result["rc"] == 0, "QEMU exit status %r (%s)" % (result["rc"], result["qemu"].strip()[-300:]))
    want("ASSERT" not in result["debug"], "the firmware ASSERTed: " + "".join(re.findall(r".*ASSERT.*", result["debug"])[:2]))
    for n, boot in enumerate(debug_boots(result["debug"]), 1):
        want("IioHobPei: IIO source HOB of 7229 data bytes" in boot, "boot %d: the test PEIM left no IIO source HOB" % n)
        #
        # The core loads TavriDxe without an error line: no preferred base to
        # ask for, and a CodeView entry that gives its name.
        #
        block = boot.split("Loading driver " + TAVRI_FILE_GUID, 1)[-1].split("Loading driver ", 2)
        want(len(block) > 1 and "TavriDxe.efi" in block[1], "boot %d: the core's log does not name TavriDxe" % n)
        want(len(block) > 1 and "ConvertPages: failed" not in block[0] + block[1],
             "boot %d: the core logged an error loading TavriDxe" % n)


def check_normal(result, transport="KcsIpmiDxe"):
    problems = []
    want = lambda cond, what: cond or problems.append(what)  # noqa: E731
    check_common(result, want)
    boots, io, report = debug_boots(result["debug"]), result["io"], result["report"]
    want(len(boots) == 3, "expected three boots (seed, preset reset, report), saw %d" % len(boots))
    want(len(io) == 3, "expected I/O of three boots, saw %d" % len(io))
    for n, boot in enumerate(boots, 1):
        order = [m for m in loads(boot) if m in ("TavriDxe", transport, "VariableRuntimeDxe")]
        want(order == ["VariableRuntimeDxe", "TavriDxe", transport],
             "boot %d: the core loaded %s, expected the variable driver, TavriDxe, then the transport" % (n, order))
        want(("InstallProtocolInterface: " + IPMI_TRANSPORT_GUID) in boot, "boot %d: no IPMI transport installed" % n)
    if len(boots) == 3 and len(io) == 3:
        want(("InstallProtocolInterface: " + FRU_ACCESS_GUID) in boots[0], "boot 1: no FRU access protocol")
        want(commands(io[0]) == PROBE_COMMANDS, "boot 1: %d IPMI commands, expected the probe's 16" % commands(io[0]))
        #
        # Boot 2 finds the seeded preset out of force: stored, then the reset
        # through 0xCF9 inside the first hook, before any IPMI command.
        #
        want(reset_before_kcs(io[1]) == 0x0E, "boot 2: no 0x0E to 0xCF9 before the first KCS write (%s)" % io[1][:3])
        want(commands(io[1]) == 0, "boot 2: %d IPMI commands before the reset" % commands(io[1]))
        want(("InstallProtocolInterface: " + FRU_ACCESS_GUID) not in boots[1], "boot 2: hooks ran past the reset")
        want(commands(io[2]) == PROBE_COMMANDS + 1, "boot 3: %d IPMI commands, expected 16 + the app's read" % commands(io[2]))
    want(result["p72"] == b"\x81" * 6 and result["p73"] == b"\x55" * 2,
         "CMOS marker: ports 0x72/0x73 saw %s / %s, expected the sequence in boots 1 and 3" % (result["p72"].hex(), result["p73"].hex()))
    want("app-run 1" in report and "seed pm=0 iio=0" in report, "the app did not seed the variables")
    want("pm status=0 selector=1 in-force=9/9" in report, "the preset is not in force after the cycle")
    want("iio status=0 size=22247 from-pei-hob=144/144 switch=1" in report, "SocketIioConfig does not hold the PEI HOB's 144 bytes")
    want("fru-protocol status=0" in report, "the FRU access protocol is not installed when the OS loader runs")
    header = "".join("%02X" % b for b in result["fru"][:8])
    want("fru-read status=0 count=16 header=" + header in report, "FRU read through the protocol differs from the FRU file")
    want("fru-write-past-end status=error:2 count=17" in report, "a write past 0xFFFF was not refused with its count untouched")
    want("TAVRI done" in report, "the app did not finish")
    return problems


def check_transport_first(result, transport="KcsIpmiDxe"):
    problems = []
    want = lambda cond, what: cond or problems.append(what)  # noqa: E731
    check_common(result, want)
    boots, report = debug_boots(result["debug"]), result["report"]
    want(len(boots) == 2, "expected two boots (seed, report), saw %d" % len(boots))
    for n, boot in enumerate(boots, 1):
        #
        # The transport is started before the variable write service exists
        # and before TavriDxe, whose registration then comes too late.
        #
        at = lambda text: boot.find(text) if text in boot else len(boot)  # noqa: E731
        kcs, write, tavri = at(" %s.efi" % transport), at("InstallProtocolInterface: " + VARIABLE_WRITE_ARCH_GUID), at(" TavriDxe.efi")
        want(kcs < write < tavri, "boot %d: expected the transport, then the variable write service, then TavriDxe" % n)
        want(("InstallProtocolInterface: " + FRU_ACCESS_GUID) not in boot, "boot %d: a hook ran" % n)
    want(all(commands(b) == 0 and reset_before_kcs(b) != 0x0E for b in result["io"]), "an IPMI command or a 0xCF9 reset happened")
    want(result["p72"] == b"" and result["p73"] == b"", "the CMOS marker was written")
    want("pm status=0 selector=1 in-force=8/9" in report, "the preset was touched")
    want(re.search(r"iio status=0 size=22247 from-pei-hob=(\d+)/144", report) is not None
         and "from-pei-hob=144/144" not in report, "SocketIioConfig was imported")
    want("fru-protocol status=error:14" in report, "the FRU access protocol is installed")
    want("TAVRI done" in report, "the app did not finish")
    return problems


def entry_offset(path):
    """AddressOfEntryPoint of a PE32+ image."""
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 0x28:pe + 0x2C], "little")


def check_integration(result, build, image):
    """The TavriDxe the core loaded is the one this integration puts in the
    volume: EDK2's own build of it, or the standalone image."""
    built = os.path.join(build, "firmware", "TavriDxe.efi") if image == "source" else os.path.join(build, "TavriDxe.efi")
    loaded = set((int(e, 16) - int(b, 16)) for b, e in
                 re.findall(r"Loading driver at 0x([0-9A-F]+) EntryPoint=0x([0-9A-F]+) TavriDxe\.efi", result["debug"]))
    if loaded != {entry_offset(built)}:
        return ["TavriDxe loaded with entry offsets %s, expected 0x%X of %s"
                % (sorted(hex(o) for o in loaded), entry_offset(built), built)]
    return []


def print_report(result, image):
    print("OVMF built with TavriDxe inside (%s), QEMU q35 with QEMU's BMC on KCS: %.1f s for the whole run"
          % (image, result["elapsed"]))
    for n, boot in enumerate(debug_boots(result["debug"]), 1):
        io = result["io"][n - 1] if n <= len(result["io"]) else []
        print("  boot %d:" % n)
        for line in boot.splitlines():
            if (re.search(r"IioHobPei:|TavriDxe\.efi|KcsIpmiDxe\w*\.efi|VariableRuntimeDxe\.efi", line)
                    or any(g in line for g in ("Interface: " + IPMI_TRANSPORT_GUID, "Interface: " + FRU_ACCESS_GUID))):
                print("    log: " + line.strip())
        reset = [v for name, _, v in io if name == "lpc-reset-control"]
        print("    io: %d IPMI commands on KCS; 0xCF9 written %s" % (commands(io), " ".join("0x%02X" % v for v in reset) or "never"))
    for line in result["report"].splitlines():
        print("  app: " + line[len("TAVRI "):])
    print("  port 0x72 writes: %s" % " ".join("%02X" % b for b in result["p72"]))
    print("  port 0x73 writes: %s" % " ".join("%02X" % b for b in result["p73"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--image", choices=sorted(IMAGES), default="source")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=300)
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="tavri-firmware-")
    os.makedirs(work, exist_ok=True)
    result = run(os.path.abspath(args.build), work, args.image, args.timeout)
    transport = TRANSPORTS.get(args.image, "KcsIpmiDxe")
    problems = (check_transport_first if args.image in TOO_EARLY else check_normal)(result, transport)
    if args.image not in TOO_EARLY:
        problems += check_integration(result, os.path.abspath(args.build), args.image)
    print_report(result, args.image)
    if problems:
        print("\nFAILED:")
        for p in problems:
            print("  - " + p)
        print("\n--- report (port 0xE9) ---\n" + result["report"])
        print("--- DEBUG log, last lines (port 0x402, all of it in %s) ---" % os.path.join(work, "debug.log"))
        print("\n".join(result["debug"].splitlines()[-60:]))
        return 1
    if args.image not in TOO_EARLY:
        print("\nAll checks passed: dispatched by the DXE core before the transport, the preset cycle with the reset"
              " before any IPMI command, the FRU probe, the CMOS marker, the IIO import from the PEI HOB.")
    else:
        print("\nAll checks passed: with the transport started first, no hook of TavriDxe ran.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
