"""Pieces shared by the QEMU tests: the FRU file QEMU's BMC serves, the QEMU
arguments for OVMF, a FAT ESP and debug-port captures, and a process runner
that stops what it started on success, failure and timeout alike.
"""

import os
import shutil
import signal
import socket
import subprocess
import time

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


def run(cmd, timeout, stdin=subprocess.DEVNULL):
    """Run a command in its own process group with a time limit. Returns
    (exit status or None on timeout, output, seconds); the group is stopped on
    every path out of here."""
    start = time.time()
    proc = subprocess.Popen(cmd, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out.decode(errors="replace"), time.time() - start
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


def fat_image(path, files, size_mb=16):
    """A FAT disk image holding files ({name in the root: host path}), for an
    ESP the guest writes to: QEMU's fat:rw directory does not carry new guest
    files back reliably. Built and read with mtools."""
    if os.path.exists(path):
        os.remove(path)
    with open(path, "wb") as f:
        f.truncate(size_mb * 1024 * 1024)
    subprocess.run(["mformat", "-i", path, "-v", "ESP", "::"], check=True, timeout=60)
    for name, source in files.items():
        subprocess.run(["mcopy", "-i", path, source, "::/" + name], check=True, timeout=60)


def fat_read(path, name):
    """The bytes of file name in the root of a FAT image, or None."""
    proc = subprocess.run(["mtype", "-i", path, "::/" + name], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=60)
    return proc.stdout if proc.returncode == 0 else None


def disk_args(image):
    return ["-drive", "file=" + image + ",format=raw"]
