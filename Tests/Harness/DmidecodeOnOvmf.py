#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The operating system's view of FruSmbiosDxe's work: dmidecode under
Debian's own kernel, booted on stock OVMF after the drivers.

Everything comes from Debian packages, fetched with `apt-get download` into
the cache (~/.cache/tavri/os-view, or $TAVRI_CACHE/os-view) on the first run:
linux-image-amd64's kernel (an EFI stub image, started from the UEFI shell
with its initrd= option), busybox-static and dmidecode, with the host's libc6
for dmidecode. The initramfs is written here (cpio newc): /init mounts proc
and sysfs, runs `dmidecode -t 1 -t 2 -t 3` (which reads the tables the kernel
found through the firmware's SMBIOS entry point, /sys/firmware/dmi/tables)
and powers off.

The shell's startup.nsh loads FruSmbiosDxe.efi, TavriDxe.efi and
KcsIpmiDxe.efi from the ESP (the transport's installation brings the FRU
access protocol and FruSmbiosDxe's update), then starts the kernel. QEMU's
BMC serves the same FRU image as SmbiosOnOvmf. The test passes when
dmidecode shows the FRU's serial numbers, asset tag and chassis type.

Exits 77 (skipped) when the packages cannot be fetched.

Usage: python3 -m Harness.DmidecodeOnOvmf BUILD_DIR [--work DIR] [--timeout S]
"""

import argparse
import glob
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

from . import Collect as C
from . import Esp
from . import Fru
from . import Qemu as Q
from . import SmbiosOnOvmf as S

SKIP = 77
CACHE = os.path.join(os.environ.get("TAVRI_CACHE", os.path.expanduser("~/.cache/tavri")), "os-view")

INIT = """#!/bin/busybox sh
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sysfs /sys
echo TAVRI-DMI-BEGIN
/usr/sbin/dmidecode -t 1 -t 2 -t 3
echo TAVRI-DMI-END rc=$?
/bin/busybox poweroff -f
"""

STARTUP = r"""@echo -off
fs0:
load FruSmbiosDxe.efi
load TavriDxe.efi
load KcsIpmiDxe.efi
vmlinuz initrd=\initrd.img console=ttyS0,115200 panic=-1 loglevel=3
"""

# What dmidecode must show: (section title, line) pairs.
EXPECTED = [
    ("System Information", "Manufacturer: Tavri Systems"),
    ("System Information", "Product Name: TVR Server"),
    ("System Information", "Version: A01"),
    ("System Information", "Serial Number: PRD-SN-4242"),
    ("System Information", "SKU Number: TVR-SRV-2S"),
    ("Base Board Information", "Manufacturer: Tavri Systems"),
    ("Base Board Information", "Product Name: TVR-2S-MB"),
    ("Base Board Information", "Version: BRD-PN-77"),
    ("Base Board Information", "Serial Number: BRD-SN-000123"),
    ("Chassis Information", "Type: Rack Mount Chassis"),
    ("Chassis Information", "Serial Number: CH-SN-0001"),
    ("Chassis Information", "Asset Tag: ASSET-0007"),
]


def fetch_packages():
    """The three .deb files, downloaded once into CACHE; None when apt fails."""
    os.makedirs(CACHE, exist_ok=True)
    try:
        depends = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, timeout=60, text=True).stdout
    except (OSError, subprocess.TimeoutExpired):
        return None
    kernel = re.search(r"Depends: (linux-image-[0-9][^\s]*)", depends)
    if not kernel:
        return None
    wanted = {kernel.group(1): None, "busybox-static": None, "dmidecode": None}
    for name in wanted:
        found = glob.glob(os.path.join(CACHE, name + "_*.deb"))
        if not found:
            subprocess.run(["apt-get", "download", name], cwd=CACHE, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=600)
            found = glob.glob(os.path.join(CACHE, name + "_*.deb"))
        if not found:
            return None
        wanted[name] = sorted(found)[-1]
    return wanted


def extract(debs, root):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    for deb in debs.values():
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True, timeout=300)
    kernel = sorted(glob.glob(os.path.join(root, "boot", "vmlinuz-*")))[-1]
    return kernel, os.path.join(root, "bin", "busybox"), os.path.join(root, "usr", "sbin", "dmidecode")


def shared_libraries(binary):
    """The host paths of what the dynamic loader maps for binary (libc6)."""
    out = subprocess.run(["ldd", binary], stdout=subprocess.PIPE, text=True, timeout=60).stdout
    paths = re.findall(r"=> (/\S+)", out) + re.findall(r"^\s*(/\S+ld-linux\S*)", out, re.M)
    return sorted(set(paths))


def cpio_newc(entries):
    """An uncompressed initramfs: entries are (path, mode, data or None, rdev)."""
    out = bytearray()

    def put(name, mode, data, rdev, ino):
        name_bytes = name.encode() + b"\0"
        fields = [ino, mode, 0, 0, 1, 0, len(data), 0, 0, rdev >> 8, rdev & 0xFF, len(name_bytes), 0]
        out.extend(b"070701" + b"".join(b"%08X" % f for f in fields) + name_bytes)
        out.extend(bytes((-len(out)) % 4))
        out.extend(data)
        out.extend(bytes((-len(out)) % 4))

    for ino, (name, mode, data, rdev) in enumerate(entries, start=1):
        put(name, mode, data or b"", rdev, ino)
    put("TRAILER!!!", 0, b"", 0, 0)
    return bytes(out)


def initramfs(busybox, dmidecode):
    def read(path):
        with open(path, "rb") as f:
            return f.read()

    dirs = ["bin", "dev", "proc", "sys", "usr", "usr/sbin", "lib", "lib64", "lib/x86_64-linux-gnu"]
    entries = [(d, stat.S_IFDIR | 0o755, None, 0) for d in dirs]
    entries.append(("dev/console", stat.S_IFCHR | 0o600, None, (5 << 8) | 1))
    entries.append(("init", stat.S_IFREG | 0o755, INIT.encode(), 0))
    entries.append(("bin/busybox", stat.S_IFREG | 0o755, read(busybox), 0))
    entries.append(("usr/sbin/dmidecode", stat.S_IFREG | 0o755, read(dmidecode), 0))
    for lib in shared_libraries(dmidecode):
        target = lib.lstrip("/")
        if target.startswith("usr/lib"):
            target = target[4:]
        entries.append((target, stat.S_IFREG | 0o755, read(os.path.realpath(lib)), 0))
    return cpio_newc(entries)


def dmi_sections(console):
    """{section title: [lines]} from dmidecode's output on the console: a
    block per structure, "Handle ..." then the title then its lines (the
    console text has lost dmidecode's tabs)."""
    m = re.search(r"TAVRI-DMI-BEGIN\n(.*?)TAVRI-DMI-END rc=(\d+)", console, re.S)
    if not m:
        return None, None
    sections = {}
    for block in m.group(1).split("\n\n"):
        lines = [l.strip() for l in block.splitlines() if l.strip()]
        if len(lines) >= 2 and lines[0].startswith("Handle "):
            sections.setdefault(lines[1], lines[2:])
    return sections, int(m.group(2))


def run(build, work, timeout):
    debs = fetch_packages()
    if debs is None:
        return None
    kernel, busybox, dmidecode = extract(debs, os.path.join(work, "root"))
    fru = Fru.write_fru(os.path.join(work, "fru0.bin"), S.good_image())
    staging = os.path.join(work, "staging")
    os.makedirs(staging, exist_ok=True)
    with open(os.path.join(staging, "initrd.img"), "wb") as f:
        f.write(initramfs(busybox, dmidecode))
    with open(os.path.join(staging, "startup.nsh"), "w", newline="\r\n") as f:
        f.write(STARTUP)
    files = {name: os.path.join(build, name) for name in ("FruSmbiosDxe.efi", "TavriDxe.efi", "KcsIpmiDxe.efi")}
    files.update({"vmlinuz": kernel, "initrd.img": os.path.join(staging, "initrd.img"),
                  "startup.nsh": os.path.join(staging, "startup.nsh")})
    esp = Esp.fat_image(os.path.join(work, "esp.img"), files, size_mb=64)
    result = Q.boot(work, timeout, Q.qemu_bmc_args(fru), disk=esp, trace=False, extra=["-m", "512", "-no-reboot"])
    result.kernel = os.path.basename(kernel)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=300)
    args = parser.parse_args()
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tavri-dmidecode-"))
    os.makedirs(work, exist_ok=True)
    result = run(os.path.abspath(args.build), work, args.timeout)
    if result is None:
        print("SKIPPED: Debian's kernel, busybox-static or dmidecode could not be fetched with apt-get download")
        return SKIP
    sections, dmi_rc = dmi_sections(result.console)
    c = C.Checks()
    c.want(result.rc is not None, "QEMU did not stop: " + result.qemu.strip()[-200:],
           "QEMU ended within %d s" % args.timeout)
    if c.want(sections is not None, "no dmidecode output on the console", "dmidecode ran under Debian's kernel"):
        c.want(dmi_rc == 0, "dmidecode exited with %d" % dmi_rc, "dmidecode exited with 0")
        missing = [(title, line) for title, line in EXPECTED if line not in sections.get(title, [])]
        for title, line in missing:
            c.want(False, "dmidecode's %s lacks %r" % (title, line))
        if not missing:
            c.want(True, "", "dmidecode shows the FRU's names, part and serial numbers, asset tag and chassis type")
    print("dmidecode under %s on stock OVMF after FruSmbiosDxe (%.1f s):" % (result.kernel, result.elapsed))
    for title in ("System Information", "Base Board Information", "Chassis Information"):
        print("  " + title)
        for line in (sections or {}).get(title, []):
            print("    " + line)
    return c.finish(result, "All checks passed: the operating system sees the FRU's values in SMBIOS types 1, 2 and 3.")


if __name__ == "__main__":
    sys.exit(main())
