# SPDX-License-Identifier: BSD-2-Clause-Patent
"""OpenIPMI's BMC simulator (ipmi_sim) as a second, independent BMC for the
QEMU tests, and ipmitool over its LAN interface as the outside witness of
what its FRU device holds.

ipmi_sim serves FRU device 0 (1 KiB) from a file, writable, on a VM-codec
port for QEMU's ipmi-bmc-extern and on a LAN port for ipmitool, both on
127.0.0.1; or, for the FRU cross-check, several FRU devices of any size, each
from its own file. It dies of SIGPIPE when a peer connects to its VM port and closes
at once, so it runs with SIGPIPE ignored and its readiness is read from
/proc/net/tcp and /proc/net/udp, never probed by connecting. It is stopped by
PID on every path out of a `with IpmiSim(...)` block.
"""

import os
import shutil
import signal
import socket
import subprocess
import time

from . import Collect
from . import Fru
from . import Qemu as Q

FRU_SIZE = Fru.FRU_AREA
board_fru = Fru.board_fru
ADMIN_USER = "admin"
ADMIN_PASSWORD = "tavri"
TCP_LISTEN = "0A"
UDP_BOUND = "07"


def free_udp_port():
    """A UDP port free on 127.0.0.1 at the time of asking."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def socket_inodes(pid):
    """Inodes of the sockets a process holds open."""
    inodes = set()
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
            except OSError:
                continue
            if target.startswith("socket:["):
                inodes.add(target[8:-1])
    except OSError:
        pass
    return inodes


def bound(port, table, state, inodes):
    """True when /proc/net/<table> lists 127.0.0.1:port in the given state
    (0A listening for tcp, 07 bound for udp) on one of the given sockets."""
    try:
        with open("/proc/net/" + table) as f:
            rows = f.read().splitlines()[1:]
    except OSError:
        return False
    for row in rows:
        cols = row.split()
        addr, hexport = cols[1].split(":")
        if int(hexport, 16) == port and cols[3] == state and addr == "0100007F" and cols[9] in inodes:
            return True
    return False


def _ancestors():
    """This process and the processes that started it."""
    pids, pid = set(), os.getpid()
    while pid > 1 and pid not in pids:
        pids.add(pid)
        try:
            with open("/proc/%d/stat" % pid) as f:
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            break
    return pids


def leftovers(marker):
    """PIDs of processes (other than this one and those that started it) whose
    command line mentions marker, e.g. the work directory of a run."""
    found, mine = [], _ancestors()
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) in mine:
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode(errors="replace")
            with open("/proc/%s/stat" % pid) as f:
                zombie = f.read().rsplit(")", 1)[1].split()[0] == "Z"
        except OSError:
            continue
        if marker in cmdline and not zombie:
            found.append((int(pid), cmdline.strip()))
    return found


def exit_on_signals():
    """Turn SIGTERM, SIGINT and SIGHUP into SystemExit, so that every `with`
    block stops what it started when the test is stopped from outside."""
    def leave(signum, frame):
        raise SystemExit(128 + signum)
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, leave)


class IpmiSim:
    """ipmi_sim serving FRU device 0 (FRU_SIZE bytes) from fru_path, or the
    FRU devices given as {fru_id: (path, size)}. Use as a context manager:
    the simulator is stopped by PID on every way out of the block."""

    def __init__(self, work, fru_path=None, devices=None):
        self.work = os.path.abspath(work)
        if devices is None:
            devices = {0: (fru_path, FRU_SIZE)}
        self.devices = {fru_id: (os.path.abspath(path), size) for fru_id, (path, size) in devices.items()}
        self.vm_port = Q.free_port()
        self.lan_port = free_udp_port()
        self.proc = None
        self.starts = 0
        self.log_path = os.path.join(self.work, "ipmi_sim.log")
        self._write_config()

    def _write_config(self):
        self.conf = os.path.join(self.work, "lan.conf")
        self.emu = os.path.join(self.work, "bmc.emu")
        self.state = os.path.join(self.work, "ipmi_sim-state")
        shutil.rmtree(self.state, ignore_errors=True)
        os.makedirs(self.state)
        with open(self.conf, "w") as f:
            f.write('name "tavri"\n'
                    "set_working_mc 0x20\n"
                    "  startlan 1\n"
                    "    addr 127.0.0.1 %d\n"
                    "    priv_limit admin\n"
                    "    allowed_auths_callback none md2 md5 straight\n"
                    "    allowed_auths_user none md2 md5 straight\n"
                    "    allowed_auths_operator none md2 md5 straight\n"
                    "    allowed_auths_admin none md2 md5 straight\n"
                    "    guid a123456789abcdefa123456789abcdef\n"
                    "  endlan\n"
                    "  serial 15 127.0.0.1 %d codec VM\n"
                    '  user 2 true "%s" "%s" admin 10 none md2 md5 straight\n'
                    % (self.lan_port, self.vm_port, ADMIN_USER, ADMIN_PASSWORD))
        with open(self.emu, "w") as f:
            f.write("mc_setbmc 0x20\n"
                    "mc_add 0x20 0 no-device-sdrs 0x23 9 8 0x9f 0x1291 0xf02\n")
            for fru_id, (path, size) in sorted(self.devices.items()):
                f.write('mc_add_fru_data 0x20 %d %d file 0 "%s"\n' % (fru_id, size, path))
            f.write("mc_enable 0x20\n")

    def start(self, timeout=30):
        """Start ipmi_sim with SIGPIPE ignored and wait until its own sockets
        listen on the VM port and are bound to the LAN port."""
        assert self.proc is None or self.proc.poll() is not None
        cmd = ["sh", "-c", 'trap "" PIPE; exec ipmi_sim -c "$1" -f "$2" -s "$3" -n',
               "ipmi_sim", self.conf, self.emu, self.state]
        with open(self.log_path, "a") as log:
            self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                         start_new_session=True)
        self.starts += 1
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError("ipmi_sim exited with %r: %s" % (self.proc.returncode, Collect.read_file(self.log_path)[-2000:]))
            inodes = socket_inodes(self.proc.pid)
            if bound(self.vm_port, "tcp", TCP_LISTEN, inodes) and bound(self.lan_port, "udp", UDP_BOUND, inodes):
                return
            time.sleep(0.05)
        self.stop()
        raise RuntimeError("ipmi_sim did not listen on %d/tcp and %d/udp within %d s" % (self.vm_port, self.lan_port, timeout))

    def stop(self):
        if self.proc is not None:
            Q.stop(self.proc)

    def restart(self):
        """Stop the simulator and start it again on the same ports and file,
        as a BMC that restarts."""
        self.stop()
        self.start()

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def ipmitool(self, args, timeout=60, encoding="utf-8"):
        """Run ipmitool against the simulator's LAN interface (RMCP+ with
        cipher suite 3, which skips the cipher-suite probe)."""
        cmd = ["ipmitool", "-I", "lanplus", "-C", "3", "-H", "127.0.0.1", "-p", str(self.lan_port),
               "-U", ADMIN_USER, "-P", ADMIN_PASSWORD] + list(args)
        return Q.run(cmd, timeout, encoding=encoding)

    def read_fru(self, name="witness.bin"):
        """FRU device 0 as ipmitool reads it, or raise with its output."""
        path = os.path.join(self.work, name)
        if os.path.exists(path):
            os.remove(path)
        rc, out, _ = self.ipmitool(["fru", "read", "0", path])
        data = Collect.read_file(path, binary=True)
        if rc != 0 or len(data) != FRU_SIZE:
            raise RuntimeError("ipmitool fru read: status %r, %d bytes: %s" % (rc, len(data), out.strip()))
        return data

    def fru_print(self):
        rc, out, _ = self.ipmitool(["fru", "print", "0"])
        return out if rc == 0 else "ipmitool fru print failed (%r): %s" % (rc, out)
