# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The bring-up log's words: EFI statuses by name, TSC ticks in
microseconds, and FRU bytes decoded by frutool (the project's FRU format
library) with its checksum verdict beside the hex dump.
"""

import os
import subprocess

EFI_ERROR_BIT = 0x8000000000000000
# EFI_STATUS codes by their low bits: errors (high bit set) and warnings.
ERRORS = {
    1: "EFI_LOAD_ERROR", 2: "EFI_INVALID_PARAMETER", 3: "EFI_UNSUPPORTED", 4: "EFI_BAD_BUFFER_SIZE",
    5: "EFI_BUFFER_TOO_SMALL", 6: "EFI_NOT_READY", 7: "EFI_DEVICE_ERROR", 8: "EFI_WRITE_PROTECTED",
    9: "EFI_OUT_OF_RESOURCES", 10: "EFI_VOLUME_CORRUPTED", 11: "EFI_VOLUME_FULL", 12: "EFI_NO_MEDIA",
    13: "EFI_MEDIA_CHANGED", 14: "EFI_NOT_FOUND", 15: "EFI_ACCESS_DENIED", 16: "EFI_NO_RESPONSE",
    17: "EFI_NO_MAPPING", 18: "EFI_TIMEOUT", 19: "EFI_NOT_STARTED", 20: "EFI_ALREADY_STARTED",
    21: "EFI_ABORTED", 22: "EFI_ICMP_ERROR", 23: "EFI_TFTP_ERROR", 24: "EFI_PROTOCOL_ERROR",
    25: "EFI_INCOMPATIBLE_VERSION", 26: "EFI_SECURITY_VIOLATION", 27: "EFI_CRC_ERROR",
    28: "EFI_END_OF_MEDIA", 31: "EFI_END_OF_FILE", 32: "EFI_INVALID_LANGUAGE", 33: "EFI_COMPROMISED_DATA",
}
WARNINGS = {
    0: "EFI_SUCCESS", 1: "EFI_WARN_UNKNOWN_GLYPH", 2: "EFI_WARN_DELETE_FAILURE", 3: "EFI_WARN_WRITE_FAILURE",
    4: "EFI_WARN_BUFFER_TOO_SMALL", 5: "EFI_WARN_STALE_DATA", 6: "EFI_WARN_FILE_SYSTEM",
}


def status_value(text):
    """An EFI_STATUS as our apps report it: "0", "N" (a warning), "error:N",
    or 16 hex digits (the FRU operations' reports)."""
    if text is None:
        return None
    if text.startswith("error:"):
        return EFI_ERROR_BIT | int(text[6:])
    if len(text) == 16:
        return int(text, 16)
    return int(text)


def status_name(value):
    """EFI_SUCCESS, EFI_INVALID_PARAMETER, ...; the hex value when unnamed."""
    if isinstance(value, str) or value is None:
        value = status_value(value)
        if value is None:
            return "(not reported)"
    table = ERRORS if value & EFI_ERROR_BIT else WARNINGS
    return table.get(value & ~EFI_ERROR_BIT, "EFI_STATUS 0x%016X" % value)


def name(text):
    """status_name of a reported status text."""
    return status_name(text)


def is_success(text):
    return text is not None and status_value(text) == 0


def microseconds(ticks, tsc_hz):
    """TSC ticks as "N µs" (with the ticks), or just the ticks without a frequency."""
    if not tsc_hz:
        return "%d TSC ticks" % ticks
    us = ticks * 1e6 / tsc_hz
    return ("{:,.0f} µs".format(us) if us >= 100 else "%.1f µs" % us) + " ({:,} TSC ticks)".format(ticks)


def us(ticks, tsc_hz):
    """TSC ticks as "N µs" alone (the ticks when the rate is unknown)."""
    return microseconds(ticks, tsc_hz).split(" (")[0]


def revision(text):
    """A system table revision (hex, e.g. 00020046) as UEFI's 2.70."""
    try:
        value = int(text, 16)
    except (TypeError, ValueError):
        return str(text)
    return "%d.%02d" % (value >> 16, value & 0xFFFF)


def frutool_path(build):
    """The host FRU tool in a build tree."""
    for rel in (("TavriPkg", "FruTool", "frutool"), ("Tools", "FruTool", "frutool")):
        path = os.path.join(build, *rel)
        if os.path.exists(path):
            return path
    return None


def frutool(build, *args):
    """(exit status, output) of frutool; (None, why) when it is not built."""
    tool = frutool_path(build)
    if tool is None:
        return None, "frutool is not built in %s" % build
    proc = subprocess.run([tool] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60,
                          env=dict(os.environ, TZ="UTC"))
    return proc.returncode, proc.stdout.decode(errors="replace")


def fru_lines(build, work, data, title, indent="  "):
    """A FRU device's bytes as the log shows them: the hex dump with the
    checksum verdict beside it, then the fields our FRU library decodes.
    Returns (lines, verdict: True when frutool verify passed)."""
    path = os.path.join(work, "fru-as-read.bin")
    with open(path, "wb") as f:
        f.write(data)
    vrc, verify = frutool(build, "verify", path)
    prc, printed = frutool(build, "print", path)
    verdict = [l.strip() for l in verify.splitlines() if l.strip() and not l.startswith(path)]
    lines = ["%s (%d bytes; checksums by frutool verify, fields by frutool print):" % (title, len(data))]
    rows = [" ".join("%02X" % b for b in data[r:r + 16]) for r in range(0, len(data), 16)]
    for n, row in enumerate(rows):
        side = verdict[n] if n < len(verdict) else ""
        lines.append("%s  %04X  %-47s  %s" % (indent, n * 16, row, side))
    for extra in verdict[len(rows):]:
        lines.append("%s  %s" % (indent, extra))
    if vrc == 0:
        lines.append("%s  verdict: every checksum good" % indent)
    else:
        lines.append("%s  verdict: %s" % (indent, "frutool verify FAILED" if vrc is not None else verify))
    fields = [l for l in printed.splitlines() if ": " in l and not l.endswith(": ")] if prc == 0 else []
    for l in fields:
        key, value = l.split(": ", 1)
        lines.append("%s  %-22s %s" % (indent, key, value))
    if prc not in (0, None):
        lines.append("%s  frutool print: %s" % (indent, printed.strip().splitlines()[-1] if printed.strip() else prc))
    return lines, vrc == 0


STATUS_KEYS = ("status", "pm", "iio", "hob", "tavri-start", "kcs-start", "readback", "unload", "run-stored",
               "driver-order", "first-status")


def named_statuses(body):
    """A report line with every status token's value given by name."""
    out = []
    for token in body.split():
        key, _, value = token.partition("=")
        if value and key in STATUS_KEYS:
            try:
                token = "%s=%s" % (key, status_name(value))
            except ValueError:
                pass
        out.append(token)
    return " ".join(out)


def _switch(value):
    return {"1": "on", "0": "off"}.get(value, value)


def say(body, tsc_hz=None):
    """One report line of our apps (without "TAVRI ") as a sentence of the
    bring-up log, or None for lines the caller shows otherwise (fru-data,
    SMBIOS structures)."""
    kind = body.split(" ", 1)[0].split("=", 1)[0]
    f = dict(t.split("=", 1) for t in body.split() if "=" in t)
    s = lambda key: status_name(f.get(key))  # noqa: E731
    if kind in ("fru-data", "op-data", "smbios", "smbios-entry"):
        return None
    if kind == "tsc":
        ticks, us = int(f["ticks"]), int(f["stall-us"])
        return ("TSC rate: {:,} ticks across gBS->Stall ({:,} µs), {:.1f} MHz; the times below are TSC counts "
                "divided by it".format(ticks, us, ticks / us))
    if kind == "seed":
        return ("The test platform seeded the setup variables (preset 1 selected but one of its bytes off, the IIO "
                "import switch on): SocketPowerManagementConfig %s, SocketIioConfig %s" % (s("pm"), s("iio")))
    if kind == "hob":
        return ("IIO source HOB published: %s; TavriDxe loaded and started, its entry point returned %s"
                % (s("hob"), s("tavri-start")))
    if kind == "kcs-start":
        text = "KCS transport loaded and started: %s (installing it runs TavriDxe's IPMI-ready hooks)" % s("kcs-start")
        if "entry-tsc" in f:
            text += "; TavriDxe's entry point took %s, the hooks inside the transport's start %s" % (
                microseconds(int(f["entry-tsc"]), tsc_hz), microseconds(int(f["hooks-tsc"]), tsc_hz))
        return text
    if kind == "ready-to-boot":
        return "Ready-to-boot signalled, as the boot manager does before it starts a boot option"
    if kind == "pm":
        text = "SocketPowerManagementConfig: GetVariable %s" % s("status")
        if "selector" in f:
            text += "; preset %s selected" % f["selector"]
        if "in-force" in f:
            have, of = f["in-force"].split("/")
            text += ", %s of its %s bytes in force%s" % (have, of, "" if have == of else ": the preset is NOT in force")
        if "crc32" in f:
            text += "; CRC32 %s" % f["crc32"]
        return text
    if kind == "iio":
        text = "SocketIioConfig: GetVariable %s" % s("status")
        if "size" in f:
            text += ", %s bytes" % f["size"]
        for key, where in (("copied", "the IIO source HOB"), ("from-pei-hob", "the IIO source HOB the PEI module built")):
            if key in f:
                have, of = f[key].split("/")
                text += "; %s of the %s mapped bytes hold the data of %s" % (have, of, where)
        if "switch" in f:
            text += "; import switch %s" % _switch(f["switch"])
        if "source-hob" in f:
            text += "; IIO source HOB %s" % f["source-hob"]
        if "crc32" in f:
            text += "; CRC32 %s" % f["crc32"]
        return text
    if kind == "fru-protocol":
        found = is_success(f.get("status"))
        return "FRU access protocol: LocateProtocol %s (%s)" % (s("status"), "installed" if found else "not installed")
    if kind == "fru-read":
        text = "ReadFruData (device 0, offset 0): %s, %s bytes" % (s("status"), f.get("count"))
        if "tsc" in f:
            text += " in %s" % microseconds(int(f["tsc"]), tsc_hz)
        if "header" in f:
            text += "; common header %s" % " ".join(f["header"][i:i + 2] for i in range(0, len(f["header"]), 2))
        return text
    if kind == "raw-kcs-16":
        return "The same 16 Read FRU Data commands sent straight through the IPMI transport: %s" % microseconds(
            int(f["tsc"]), tsc_hz)
    if kind == "fru-write":
        return ("WriteFruData (device 0, offset 0x100, 20 bytes): %s, %s bytes written; read back %s, %s bytes match"
                % (s("status"), f.get("count"), s("readback"), f.get("matching", "?").replace("/", " of ")))
    if kind == "fru-write-past-end":
        refused = not is_success(f.get("status"))
        return ("WriteFruData of 17 bytes at 0xFFF0, past the end of the FRU address space: %s, count %s (%s)"
                % (s("status"), f.get("count"), "refused" if refused else "NOT refused"))
    if kind == "done":
        return "The app finished its report"
    if kind == "app-run":
        return "started by the boot manager, run %s" % body.split()[-1]
    if kind == "reset":
        return "The app resets the platform (ResetSystem) so that the seeded variables reach the next boot"
    if kind == "probe":
        return ("DeployProbe finished its report" if "done" in body.split()[1:] else
                "DeployProbe, started from the UEFI shell, reports what it finds")
    if kind == "loader":
        return "The signed Secure Boot loader runs (run %s; its run counter stored: %s)" % (f.get("run"), s("run-stored"))
    if kind == "driver-order":
        return "DriverOrder stored: %s" % s("driver-order")
    if kind == "next":
        return ("The loader resets the machine next" if f.get("next") == "reset" else
                "The loader shuts the machine down next")
    if kind == "image":
        return "Loaded image %s, loaded by %s" % (f.get("path"), f.get("parent"))
    if kind == "load":
        text = "LoadImage %s: %s" % (f.get("path"), s("status"))
        if "unload" in f:
            text += " (unloaded again: %s)" % s("unload")
        return text
    if kind == "driver-option":
        return "Driver%04X stored: %s" % (int(f.get("number", "0"), 16), s("status"))
    if kind == "firmware":
        return "Firmware: vendor %s, UEFI %s, Secure Boot %s" % (
            f.get("vendor"), revision(f.get("uefi")), {"1": "on", "0": "off"}.get(f.get("secure-boot"), f.get("secure-boot")))
    return named_statuses(body)
