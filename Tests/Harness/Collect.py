# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The one result collector of the harness: what a QEMU run left behind
(the serial console, port captures, QEMU's trace of port writes and
processor resets), split into boots; the "TAVRI ..." report lines our apps
write on port 0xE9; the firmware's DEBUG log; and Checks, which gathers the
failed expectations of a test and prints them with the evidence.
"""

import os
import re

SERIAL_PORT = 0x3F8
RESET_PORT = 0xCF9
KCS_PORTS = (0xCA2, 0xCA3)
CMOS_PORTS = (0x72, 0x73)
REPORT_PORT = 0xE9
TRACED_PORTS = (SERIAL_PORT, RESET_PORT) + KCS_PORTS + CMOS_PORTS + (REPORT_PORT,)
KCS_WRITE_START = 0x61
# Writes to 0xCF9 that end a boot: OVMF's ResetSystem (the shell's reset,
# the loader's) writes 0x06; the driver's preset reset writes 0x0E.
RESETS = {0x06: "the firmware's ResetSystem", 0x0E: "the driver's preset reset"}


def fresh_files(work, names):
    """Paths of capture files in work, none of them left from an earlier run."""
    files = {name: os.path.join(work, name) for name in names}
    for path in files.values():
        if os.path.exists(path):
            os.remove(path)
    return files


def read_file(path, binary=False):
    if not os.path.exists(path):
        return b"" if binary else ""
    with open(path, "rb") as f:
        raw = f.read()
    return raw if binary else raw.decode(errors="replace")


def console_text(raw):
    """Console output without terminal escapes and carriage returns."""
    text = re.sub(r"\x1b\[[0-9;=?]*[A-Za-z]", "", raw)
    return "".join(c for c in text.replace("\r", "") if c == "\n" or " " <= c <= "~")


class Result:
    """One QEMU run: rc (None on timeout), qemu (its output), elapsed
    (seconds), console (serial, cleaned), the port captures by name, and the
    traced events: (seconds, "write", port, value) and (seconds, "reset")."""

    def __init__(self, work, rc, qemu, elapsed, files, captures, traced):
        self.work, self.rc, self.qemu, self.elapsed = work, rc, qemu, elapsed
        self.console = console_text(read_file(files["console.log"]))
        self.captured = {name: read_file(files["%s.bin" % name], True) for name in captures}
        self.start, self.events = trace_events(files["io-trace.log"]) if traced else (None, [])

    def data(self, name):
        return self.captured.get(name, b"")

    def text(self, name):
        return self.data(name).decode(errors="replace")

    def writes(self, ports=TRACED_PORTS):
        """[(seconds, port, value)] of the traced writes to the given ports."""
        wanted = set(ports)
        return [(e[0], e[2], e[3]) for e in self.events if e[1] == "write" and e[2] in wanted]

    def boots_by_reset_register(self):
        """describe_boot for every boot, a boot ending at each write of the
        reset bit to 0xCF9; each timed from the reset that began it."""
        out, start = [], self.start
        for boot in split_at_resets(self.writes()):
            out.append(describe_boot(boot, start))
            if boot:
                start = boot[-1][0]
        return out

    def boots_by_cpu_reset(self):
        """describe_boot for every boot, a boot ending at each processor reset
        the trace shows (the power-on reset starts none)."""
        boots, wanted = [[]], set(TRACED_PORTS)
        for e in self.events:
            if e[1] == "reset":
                if boots[-1]:
                    boots.append([])
            elif e[2] in wanted:
                boots[-1].append((e[0], e[2], e[3]))
        return [describe_boot(b) for b in boots if b]

    def failure_dump(self, report_name="report", console_chars=6000):
        print("\nQEMU: %r %s" % (self.rc, self.qemu.strip()[-300:]))
        if report_name in self.captured:
            print("--- report (port 0x%X) ---\n%s" % (REPORT_PORT, self.text(report_name)[-12000:]))
        print("--- console (serial), last %d characters ---\n%s" % (console_chars, self.console[-console_chars:]))


def trace_events(path):
    """(seconds of the first traced event, events in order) from QEMU's trace:
    byte writes below 0x10000 (I/O ports) and processor resets."""
    write = re.compile(r"memory_region_ops_write cpu \S+ mr \S+ addr 0x([0-9a-f]+) value 0x([0-9a-f]+) size 1 ")
    stamp = re.compile(r"@(\d+\.\d+):")
    start, out = None, []
    if not os.path.exists(path):
        return start, out
    with open(path, errors="replace") as f:
        for text in f:
            at = stamp.search(text)
            t = float(at.group(1)) if at else 0.0
            if start is None and at:
                start = t
            if "guest_cpu_reset" in text:
                out.append((t, "reset"))
                continue
            m = write.search(text)
            if m and int(m.group(1), 16) < 0x10000:
                out.append((t, "write", int(m.group(1), 16), int(m.group(2), 16)))
    return start, out


def split_at_resets(writes):
    """Boots of a session: a write to 0xCF9 with the reset bit (0x04) set ends one."""
    boots = [[]]
    for write in writes:
        boots[-1].append(write)
        if write[1] == RESET_PORT and write[2] & 0x04:
            boots.append([])
    if not boots[-1] and len(boots) > 1:
        boots.pop()
    return boots


def describe_boot(writes, start=None):
    """What one boot did at the ports: console and report text, KCS writes
    (all, and those before the first CMOS write), IPMI commands (each begins
    with WRITE_START), the CMOS writes, the reset written (None when the boot
    ended otherwise), whether that reset came before any KCS write, whether
    the CMOS writes came as one run right after a KCS write, and the seconds
    from start (the previous boot's reset)."""
    kcs = [i for i, w in enumerate(writes) if w[1] in KCS_PORTS]
    cmos = [i for i, w in enumerate(writes) if w[1] in CMOS_PORTS]
    resets = [i for i, w in enumerate(writes) if w[1] == RESET_PORT and w[2] & 0x04]
    before_cmos = [i for i in kcs if not cmos or i < cmos[0]]
    if start is None and writes:
        start = writes[0][0]
    return {
        "console": console_text("".join(chr(w[2]) for w in writes if w[1] == SERIAL_PORT)),
        "report": "".join(chr(w[2]) for w in writes if w[1] == REPORT_PORT),
        "kcs_writes": len(kcs),
        "kcs_before_cmos": len(before_cmos),
        "ipmi_commands": sum(1 for i in kcs if writes[i][1] == KCS_PORTS[1] and writes[i][2] == KCS_WRITE_START),
        "cmos": [(writes[i][1], writes[i][2]) for i in cmos],
        "cmos_after_kcs": (bool(cmos) and bool(before_cmos) and cmos[0] == before_cmos[-1] + 1
                           and cmos[-1] - cmos[0] == len(cmos) - 1),
        "reset": writes[resets[0]][2] if resets else None,
        "reset_before_kcs": bool(resets) and (not kcs or resets[0] < kcs[0]),
        "reset_writes": [w[2] for w in writes if w[1] == RESET_PORT],
        "seconds": (writes[-1][0] - start) if writes else 0.0,
    }


# --- The apps' report (port 0xE9) -------------------------------------------

def fields(line):
    """key=value tokens of a report line."""
    return dict(token.split("=", 1) for token in line.split() if "=" in token)


def report_lines(report):
    """The report's lines without their "TAVRI " prefix."""
    return [l[len("TAVRI "):] for l in report.splitlines() if l.startswith("TAVRI ")]


def split_report(report, marker):
    """The report cut into one text per boot, at each line starting with
    "TAVRI " + marker (e.g. "boot ", "app-run "); text before the first is dropped."""
    parts = re.split(r"(?m)^(?=TAVRI %s)" % re.escape(marker), report)
    return [p for p in parts if p.startswith("TAVRI " + marker)]


def parse(report):
    """The report lines of one boot, gathered by kind: the last line of each
    kind as its fields, lists for images, loads and driver options, and the
    FRU bytes of the fru-data lines."""
    out = {"lines": [], "images": [], "loads": [], "options": [], "fru_bytes": b"", "kinds": {}}
    dump = bytearray()
    for body in report_lines(report):
        out["lines"].append(body)
        kind = body.split(" ", 1)[0].split("=", 1)[0]
        f = fields(body)
        if kind == "image":
            out["images"].append((f.get("path"), f.get("parent")))
        elif kind == "load":
            out["loads"].append(f)
        elif kind == "driver-option":
            out["options"].append(f)
        elif kind == "fru-data":
            dump += bytes(int(x, 16) for x in body.split()[2:])
        else:
            out["kinds"][kind] = f
    out["fru_bytes"] = bytes(dump)
    for kind in ("pm", "iio", "firmware", "loader", "seed", "fru-protocol", "fru-read", "tsc"):
        out[kind.replace("-", "_") if kind != "fru-protocol" else "fru"] = out["kinds"].get(kind, {})
    return out


# --- UEFI shell scripts that mark their steps on the console ---------------

def shell_step_rc(console, step):
    """The %lasterror% a script printed after a step ("FRUTEST rc STEP N"), or
    None when the step never ended."""
    m = re.search(r"FRUTEST rc %s (\S+)" % re.escape(step), console)
    return m.group(1) if m else None


def shell_step_output(console, step):
    """What the console showed between "FRUTEST step STEP" and the step's rc."""
    m = re.search(r"FRUTEST step %s\n(.*?)FRUTEST rc" % re.escape(step), console, re.S)
    return m.group(1) if m else ""


# --- The firmware's DEBUG log (port 0x402) ----------------------------------

def debug_boots(debug):
    """The DEBUG log, one piece per boot (each boot starts in SEC)."""
    return [p for p in re.split(r"(?=SecCoreStartupWithStack)", debug) if p.startswith("SecCoreStartupWithStack")]


def debug_loads(boot):
    """Modules the DXE core loaded, in order, by the name its log prints."""
    return re.findall(r"Loading driver at 0x[0-9A-F]+ EntryPoint=0x[0-9A-F]+ (\S+)\.efi", boot)


class Checks:
    """Collects failed expectations, each with what was expected, and one
    closing line per check that passed."""

    def __init__(self):
        self.problems = []
        self.passed = []

    def want(self, cond, what, passed=None):
        """Record what (the failure) unless cond; passed, when given, is the
        closing line printed for this check when it holds."""
        if not cond:
            self.problems.append(what)
        elif passed:
            self.passed.append(passed)
        return cond

    def finish(self, result, passed_message, dump=None):
        """Print the failures and the evidence (dump(), or the result's
        report and console), or the passed checks and passed_message; 0 or 1."""
        if self.problems:
            print("\nFAILED:")
            for p in self.problems:
                print("  - " + p)
            if dump is not None:
                dump()
            elif result is not None:
                result.failure_dump()
            return 1
        if self.passed:
            print("\nChecks:")
            for line in self.passed:
                print("  ok  " + line)
        print("\n" + passed_message)
        return 0


class ShellSession(Checks):
    """Checks over a UEFI shell script's console, whose steps print
    "FRUTEST step STEP" and "FRUTEST rc STEP N"; the QEMU run must end with
    status 0 after the script's "FRUTEST done"."""

    def __init__(self, result):
        super().__init__()
        self.console = result["console"]
        self.want(result["rc"] == 0, "QEMU exit status %r (%s)" % (result["rc"], result["qemu"].strip()[-200:]))
        self.want("FRUTEST done" in self.console, "the shell script did not finish")

    def rc(self, step):
        return shell_step_rc(self.console, step)

    def ok(self, step):
        """The step ended with status 0."""
        return self.rc(step) in ("0", "0x0")

    def refused(self, step):
        """The step ended, with a status other than 0."""
        return self.rc(step) not in (None, "0", "0x0")

    def section(self, step):
        return shell_step_output(self.console, step)

    def lines(self, step):
        """The step's non-blank lines."""
        return [line for line in self.section(step).splitlines() if line.strip()]
