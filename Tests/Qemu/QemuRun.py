"""Pieces shared by the QEMU tests: the FRU file QEMU's BMC serves, the QEMU
arguments for OVMF, a FAT ESP and debug-port captures, and a process runner
that stops what it started on success, failure and timeout alike. Further
down: sessions on stock OVMF (a FAT ESP image the guest may write, a
startup.nsh for the UEFI shell, dmpstore files, Secure Boot) whose port
writes are traced and split into boots.
"""

import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import time
import uuid
import zlib

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"
FRU_AREA = 1024


def fru_file():
    """FRU device 0 in the IPMI FRU format: a common header, a board tag, then
    a counting pattern, so every byte of a read can be checked."""
    data = bytearray((i * 5 + 1) & 0xFF for i in range(FRU_AREA))
    header = [0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00]
    header.append((-sum(header)) & 0xFF)
    data[0:8] = bytes(header)
    data[8:20] = b"TAVRI-SRV-2S"
    return bytes(data)


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


def machine_args(code=OVMF_CODE, vars_fd=None, machine="q35", extra_machine=""):
    """QEMU without defaults, with OVMF's code (read-only) and a writable copy
    of its variable store."""
    return [
        "qemu-system-x86_64", "-machine", machine + extra_machine, "-m", "256", "-display", "none",
        "-no-user-config", "-nodefaults", "-net", "none",
        "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + code,
        "-drive", "if=pflash,format=raw,unit=1,file=" + vars_fd,
    ]


def copy_vars(work, source=OVMF_VARS):
    vars_fd = os.path.join(work, os.path.basename(source))
    shutil.copy(source, vars_fd)
    return vars_fd


def esp_args(esp):
    return ["-drive", "file=fat:rw:" + esp + ",format=raw"]


def qemu_bmc_args(fru_path, area=FRU_AREA):
    """QEMU's own simulated BMC on a KCS interface, serving FRU device 0."""
    return ["-device", "ipmi-bmc-sim,id=bmc0,frudatafile=%s,fruareasize=%d" % (fru_path, area),
            "-device", "isa-ipmi-kcs,bmc=bmc0"]


def extern_bmc_args(port):
    """An outside BMC on a KCS interface: QEMU connects to 127.0.0.1:port with
    the VM codec and connects again within 10 s whenever the link drops."""
    return ["-chardev", "socket,id=ipmi0,host=127.0.0.1,port=%d,reconnect=10" % port,
            "-device", "ipmi-bmc-extern,chardev=ipmi0,id=bmc0",
            "-device", "isa-ipmi-kcs,bmc=bmc0"]


def fw_cfg_args(name, path):
    """Hand the guest a file through QEMU's firmware configuration device."""
    return ["-fw_cfg", "name=%s,file=%s" % (name, path)]


def debugcon_args(name, iobase, path):
    """Capture every byte written to an I/O port into a file."""
    return ["-chardev", "file,id=%s,path=%s" % (name, path),
            "-device", "isa-debugcon,iobase=0x%x,chardev=%s" % (iobase, name)]


def cmos_capture_args(files):
    """Ports 0x72 and 0x73: QEMU has no extended CMOS there, so both are captured."""
    return debugcon_args("c72", 0x72, files["port72.bin"]) + debugcon_args("c73", 0x73, files["port73.bin"])


def stop(proc):
    """Stop a process started with start_new_session and its whole group."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()


def run(cmd, timeout, stdin=subprocess.DEVNULL, encoding="utf-8"):
    """Run a command in its own process group with a time limit. Returns
    (exit status or None on timeout, output decoded as encoding, seconds); the
    group is stopped on every path out of here."""
    start = time.time()
    proc = subprocess.Popen(cmd, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out.decode(encoding, errors="replace"), time.time() - start
    except subprocess.TimeoutExpired:
        stop(proc)
        return None, "%s did not end within %d s" % (os.path.basename(cmd[0]), timeout), time.time() - start
    finally:
        stop(proc)


def free_port():
    """A TCP port free on 127.0.0.1 at the time of asking."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# --- Stock firmware sessions: a FAT ESP, the UEFI shell, Secure Boot --------

SECURE_CODE = "/usr/share/OVMF/OVMF_CODE_4M.snakeoil.fd"
SECURE_VARS = "/usr/share/OVMF/OVMF_VARS_4M.snakeoil.fd"
NV_BS_RT = 0x7

# Ports whose writes a session traces, in one ordered stream: the serial
# console, the reset control register, KCS, the extended CMOS bank and the
# report port of our apps.
SERIAL_PORT = 0x3F8
RESET_PORT = 0xCF9
KCS_PORTS = (0xCA2, 0xCA3)
CMOS_PORTS = (0x72, 0x73)
REPORT_PORT = 0xE9
TRACED_PORTS = (SERIAL_PORT, RESET_PORT) + KCS_PORTS + CMOS_PORTS + (REPORT_PORT,)


def fat_image(path, files, size_mb=16):
    """A FAT disk image for an ESP the guest writes to (the shell's rm,
    dmpstore -s, a tool saving files): QEMU's fat:rw directory does not carry
    guest writes back reliably. files maps a path on the ESP
    ("EFI/BOOT/BOOTX64.EFI", or a name in the root) to bytes or to a host
    file. Built and read with mtools."""
    def mtool(*args):
        subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, timeout=60)

    if os.path.exists(path):
        os.remove(path)
    mtool("mformat", "-i", path, "-C", "-T", str(size_mb * 2048), "-h", "64", "-s", "32", "-N", "54415652", "::")
    folders = sorted({"/".join(name.split("/")[:depth]) for name in files for depth in range(1, name.count("/") + 1)})
    for folder in folders:
        mtool("mmd", "-i", path, "::" + folder)
    staged = path + ".file"
    for name, source in sorted(files.items()):
        if isinstance(source, (bytes, bytearray)):
            with open(staged, "wb") as f:
                f.write(source)
            source = staged
        mtool("mcopy", "-i", path, source, "::" + name)
    if os.path.exists(staged):
        os.remove(staged)
    return path


def fat_read(path, name):
    """The bytes of file name in the root of a FAT image, or None."""
    proc = subprocess.run(["mtype", "-i", path, "::/" + name], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=60)
    return proc.stdout if proc.returncode == 0 else None


def disk_args(image):
    return ["-drive", "file=" + image + ",format=raw"]


def shell_script(lines):
    """startup.nsh: the UEFI shell runs it after a 5 s countdown on every boot
    that reaches the shell. Branch on a shell variable set with `set` (stored
    non-volatile) to run different steps on later boots."""
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def dmpstore_record(name, guid, attributes, data):
    """One variable in the save format of the shell's `dmpstore -s`, which
    `dmpstore -all -l FILE` loads: name size, data size, the NUL-terminated
    UCS-2 name, the GUID, the attributes, the data, then a CRC32 of all that."""
    name_bytes = (name + "\0").encode("utf-16-le")
    body = (struct.pack("<II", len(name_bytes), len(data)) + name_bytes + uuid.UUID(guid).bytes_le
            + struct.pack("<I", attributes) + bytes(data))
    return body + struct.pack("<I", zlib.crc32(body) & 0xFFFFFFFF)


def console_text(raw):
    """Console output without terminal escapes and carriage returns."""
    text = re.sub(r"\x1b\[[0-9;=?]*[A-Za-z]", "", raw)
    return "".join(c for c in text.replace("\r", "") if c == "\n" or " " <= c <= "~")


def secure_boot_args(vars_fd):
    """OVMF with Secure Boot: the SMM build and Debian's snakeoil key store.
    The variable store is only writable from SMM."""
    return machine_args(code=SECURE_CODE, vars_fd=vars_fd, extra_machine=",smm=on") + [
        "-global", "driver=cfi.pflash01,property=secure,value=on"]


def io_trace_args(path):
    """QEMU's memory_region_ops_write trace event, with timestamps: every
    device register write, I/O ports included. Port 0xCF9 belongs to the ICH9
    LPC bridge and 0xCA2/0xCA3 to isa-ipmi-kcs, so a trace is the only way to
    see those writes without changing the machine."""
    return ["-trace", "enable=memory_region_ops_write", "-D", path, "-msg", "timestamp=on"]


def io_writes(path, ports=TRACED_PORTS):
    """(seconds of the first traced event, [(seconds, port, value)] of the
    traced writes to the given I/O ports, in order)."""
    line = re.compile(r"@(\d+\.\d+):memory_region_ops_write cpu \S+ mr \S+ addr 0x([0-9a-f]+) value 0x([0-9a-f]+) size 1 ")
    stamp = re.compile(r"@(\d+\.\d+):")
    wanted = set(ports)
    start = None
    out = []
    if not os.path.exists(path):
        return start, out
    with open(path, errors="replace") as f:
        for text in f:
            if start is None:
                first = stamp.search(text)
                start = float(first.group(1)) if first else None
            m = line.search(text)
            if m and int(m.group(2), 16) in wanted:
                out.append((float(m.group(1)), int(m.group(2), 16), int(m.group(3), 16)))
    return start, out


def split_boots(writes):
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
    (all, and those before the first CMOS write), the CMOS writes, the reset
    written (None when the boot ended otherwise), whether that reset came
    before any KCS write, whether the CMOS writes came as one run right
    after a KCS write, and the seconds from start (the previous boot's reset)."""
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
        "cmos": [(writes[i][1], writes[i][2]) for i in cmos],
        "cmos_after_kcs": (bool(cmos) and bool(before_cmos) and cmos[0] == before_cmos[-1] + 1
                           and cmos[-1] - cmos[0] == len(cmos) - 1),
        "reset": writes[resets[0]][2] if resets else None,
        "reset_before_kcs": bool(resets) and (not kcs or resets[0] < kcs[0]),
        "seconds": (writes[-1][0] - start) if writes else 0.0,
    }


def describe_boots(start, writes):
    """describe_boot for every boot of a session, each timed from the reset
    that began it (the first from start)."""
    out = []
    for boot in split_boots(writes):
        out.append(describe_boot(boot, start))
        if boot:
            start = boot[-1][0]
    return out


def run_session(work, files, timeout, secure=False, extra_args=()):
    """Boot stock OVMF (or the Secure Boot build) with an ESP holding files,
    QEMU's BMC serving the FRU file, and every write to TRACED_PORTS traced,
    until the guest shuts down or the time limit. With a startup.nsh in files
    this is a UEFI shell session. Returns the exit status, QEMU's output, the
    time taken, the whole console and the boots as describe_boot gives them."""
    fru = os.path.join(work, "fru0.bin")
    with open(fru, "wb") as f:
        f.write(fru_file())
    paths = fresh_files(work, ("console.log", "trace.log"))
    esp = fat_image(os.path.join(work, "esp.img"), files)
    if secure:
        base = secure_boot_args(copy_vars(work, SECURE_VARS))
    else:
        base = machine_args(vars_fd=copy_vars(work))
    cmd = (base + ["-serial", "file:" + paths["console.log"]] + disk_args(esp)
           + qemu_bmc_args(fru) + ["-chardev", "null,id=rep",
                                   "-device", "isa-debugcon,iobase=0x%x,chardev=rep" % REPORT_PORT]
           + io_trace_args(paths["trace.log"]) + list(extra_args))
    rc, out, elapsed = run(cmd, timeout)
    start, writes = io_writes(paths["trace.log"])
    return {
        "rc": rc, "qemu": out, "elapsed": elapsed,
        "console": console_text(read_file(paths["console.log"])),
        "boots": describe_boots(start, writes),
    }
