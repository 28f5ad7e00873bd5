# SPDX-License-Identifier: BSD-2-Clause-Patent
"""What a session on stock OVMF puts on its ESP: a FAT disk image the guest
may write (the shell's rm, dmpstore -s, a tool saving files), a startup.nsh
for the UEFI shell, and setup variables in the shell's dmpstore save format.
"""

import os
import struct
import subprocess
import uuid
import zlib

NV_BS_RT = 0x7
BS_RT = 0x6


def fat_image(path, files, size_mb=16):
    """A FAT disk image for an ESP the guest writes to: QEMU's fat:rw
    directory does not carry guest writes back reliably. files maps a path on
    the ESP ("EFI/BOOT/BOOTX64.EFI", or a name in the root) to bytes or to a
    host file. Built and read with mtools."""
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
