# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The one QEMU runner of the harness: OVMF's code and variable store, the
BMCs on KCS, the ESP, port captures and the I/O trace as QEMU arguments, and
boot(), which runs QEMU with a time limit and hands what it captured to the
collector. Every process started here runs in its own process group and is
stopped on success, failure and timeout alike.
"""

import os
import shutil
import signal
import socket
import subprocess
import time

from . import Collect

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"
SECURE_CODE = "/usr/share/OVMF/OVMF_CODE_4M.snakeoil.fd"
SECURE_VARS = "/usr/share/OVMF/OVMF_VARS_4M.snakeoil.fd"

# Debug ports our apps and the firmware write to: the apps' report, the
# firmware's DEBUG log, and 0x72/0x73, where QEMU has no extended CMOS.
REPORT_PORT = 0xE9
DEBUG_PORT = 0x402
CAPTURE_REPORT = {"report": REPORT_PORT}
CAPTURE_CMOS = {"p72": 0x72, "p73": 0x73}
CAPTURE_DEBUG = {"debug": DEBUG_PORT}


def machine_args(code=OVMF_CODE, vars_fd=None, machine="q35", extra_machine=""):
    """QEMU without defaults or display, with OVMF's code (read-only) and a
    writable copy of its variable store."""
    return [
        "qemu-system-x86_64", "-machine", machine + extra_machine, "-m", "256", "-display", "none",
        "-no-user-config", "-nodefaults", "-net", "none",
        "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + code,
        "-drive", "if=pflash,format=raw,unit=1,file=" + vars_fd,
    ]


def secure_boot_args(vars_fd):
    """OVMF with Secure Boot: the SMM build and Debian's snakeoil key store.
    The variable store is only writable from SMM."""
    return machine_args(code=SECURE_CODE, vars_fd=vars_fd, extra_machine=",smm=on") + [
        "-global", "driver=cfi.pflash01,property=secure,value=on"]


def copy_vars(work, source=OVMF_VARS):
    vars_fd = os.path.join(work, os.path.basename(source))
    shutil.copy(source, vars_fd)
    return vars_fd


def esp_dir_args(esp):
    """A directory as the ESP (read by the guest; writes are not carried back)."""
    return ["-drive", "file=fat:rw:" + esp + ",format=raw"]


def disk_args(image):
    return ["-drive", "file=" + image + ",format=raw"]


def qemu_bmc_args(fru_path, area=1024):
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


def trace_args(work, path):
    """QEMU's trace of every device register write (I/O ports included) and
    of every processor reset, with timestamps. Port 0xCF9 belongs to the ICH9
    LPC bridge and 0xCA2/0xCA3 to isa-ipmi-kcs: a trace is the only way to see
    those writes without changing the machine."""
    events = os.path.join(work, "trace-events")
    with open(events, "w") as f:
        f.write("memory_region_ops_write\nguest_cpu_reset\n")
    return ["-trace", "events=%s,file=%s" % (events, path), "-msg", "timestamp=on"]


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


def boot(work, timeout, bmc, esp=None, disk=None, code=OVMF_CODE, secure=False, captures=None,
         trace=True, extra=()):
    """Boot OVMF until the guest shuts down or the time limit.

    bmc       QEMU arguments of the BMC (qemu_bmc_args, extern_bmc_args)
    esp/disk  a directory as the ESP, or a disk image (Esp.fat_image)
    code      the firmware image; secure=True for Debian's Secure Boot OVMF
    captures  {name: port}: every byte written to each port, captured by an
              isa-debugcon into a file (Collect.Result.text/.data read them)
    trace     QEMU's trace of port writes and processor resets (io-trace.log)

    Returns the collector's Result: exit status, QEMU's output, seconds,
    the serial console, the captures and the traced events."""
    captures = dict(captures or {})
    names = ["console.log", "io-trace.log"] + ["%s.bin" % name for name in captures]
    files = Collect.fresh_files(work, names)
    if secure:
        cmd = secure_boot_args(copy_vars(work, SECURE_VARS))
    else:
        cmd = machine_args(code=code, vars_fd=copy_vars(work))
    cmd += ["-serial", "file:" + files["console.log"]]
    cmd += esp_dir_args(esp) if esp else []
    cmd += disk_args(disk) if disk else []
    cmd += list(bmc)
    for name, port in sorted(captures.items()):
        cmd += debugcon_args("cap-" + name, port, files["%s.bin" % name])
    if REPORT_PORT not in captures.values():
        # Our apps always write their report: give the port a device.
        cmd += ["-chardev", "null,id=rep", "-device", "isa-debugcon,iobase=0x%x,chardev=rep" % REPORT_PORT]
    if trace:
        cmd += trace_args(work, files["io-trace.log"])
    cmd += list(extra)
    rc, out, elapsed = run(cmd, timeout)
    return Collect.Result(work, rc, out, elapsed, files, captures, trace)
