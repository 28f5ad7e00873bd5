# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Authenticode signing of UEFI images with sbsigntool, as a board team does
with its db key; here with Debian's snakeoil test key, which Debian's
OVMF_VARS_4M.snakeoil.fd enrolls. Also the two images Secure Boot must
refuse: an unsigned copy and a signed copy with one byte changed.
"""

import os
import struct
import subprocess

SNAKEOIL_KEY = "/usr/share/ovmf/PkKek-1-snakeoil.key"
SNAKEOIL_CERT = "/usr/share/ovmf/PkKek-1-snakeoil.pem"
SNAKEOIL_PASSWORD = "snakeoil"


def decrypted_key(work, key=SNAKEOIL_KEY, password=SNAKEOIL_PASSWORD):
    """sbsign reads only an unencrypted key: decrypt it into work (mode 0600)."""
    out = os.path.join(work, "db.key")
    if os.path.exists(out):
        os.remove(out)
    fd = os.open(out, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    os.close(fd)
    subprocess.run(["openssl", "rsa", "-passin", "pass:" + password, "-in", key, "-out", out],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return out


def sign(source, target, key, cert=SNAKEOIL_CERT):
    subprocess.run(["sbsign", "--key", key, "--cert", cert, "--output", target, source],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return target


def verifies(path, cert=SNAKEOIL_CERT):
    """True when sbverify accepts the image's signature against cert."""
    result = subprocess.run(["sbverify", "--cert", cert, path], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=60)
    return result.returncode == 0


def text_section(image):
    """(file offset, size) of the .text section of a PE32+ image."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections = struct.unpack_from("<H", image, pe + 6)[0]
    optional = struct.unpack_from("<H", image, pe + 20)[0]
    table = pe + 24 + optional
    for index in range(sections):
        entry = table + 40 * index
        name = image[entry:entry + 8].rstrip(b"\0")
        raw_size, raw_offset = struct.unpack_from("<II", image, entry + 16)
        if name == b".text":
            return raw_offset, raw_size
    raise ValueError("no .text section")


def tampered_copy(signed, target):
    """The signed image with one byte of its code changed: the signature no
    longer matches the image's hash."""
    with open(signed, "rb") as f:
        image = bytearray(f.read())
    offset, size = text_section(image)
    at = offset + size // 2
    image[at] ^= 0x01
    with open(target, "wb") as f:
        f.write(image)
    return target, at
