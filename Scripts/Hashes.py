#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The figures a platform owner uses for each UEFI image: its size, the
SHA-256 of the file, and its Authenticode SHA-256, the PE image hash that
firmware measures into the TPM for an image loaded from disk and checks
against the db and dbx signature lists.

The Authenticode hash is computed here from the PE layout (the headers
without the checksum and the certificate table's directory entry, then each
section's raw data in file order, then any data after the last section other
than the certificate table) and cross-checked with Debian's pesign
(`pesign --hash`), an independent implementation. A disagreement, or an image
that is not PE32+, is an error.

Usage: Scripts/Hashes.py [--check] [BUILD_DIR | IMAGE.efi ...]
  (default: every *.efi in build/; --check: only the verdict line)
"""

import glob
import hashlib
import os
import re
import struct
import subprocess
import sys

PE32_PLUS = 0x20B
CERTIFICATE_TABLE = 4


def authenticode_sha256(data):
    """The Authenticode SHA-256 of a PE32+ image's bytes."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        raise ValueError("no DOS header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] != PE32_PLUS:
        raise ValueError("not PE32+")
    header_size = struct.unpack_from("<I", data, optional + 60)[0]
    directories = struct.unpack_from("<I", data, optional + 108)[0]
    checksum = optional + 64
    cert_entry = optional + 112 + 8 * CERTIFICATE_TABLE
    cert_at, cert_size = (struct.unpack_from("<II", data, cert_entry) if directories > CERTIFICATE_TABLE
                          else (0, 0))
    h = hashlib.sha256()
    h.update(data[:checksum])
    if directories > CERTIFICATE_TABLE:
        h.update(data[checksum + 4:cert_entry])
        h.update(data[cert_entry + 8:header_size])
    else:
        h.update(data[checksum + 4:header_size])
    table = optional + optional_size
    raw = []
    for n in range(sections):
        size, at = struct.unpack_from("<II", data, table + 40 * n + 16)
        if size:
            raw.append((at, size))
    hashed = header_size
    for at, size in sorted(raw):
        if at + size > len(data):
            raise ValueError("a section runs past the end of the file")
        h.update(data[at:at + size])
        hashed += size
    end = len(data) - cert_size if cert_size else len(data)
    if cert_size and cert_at + cert_size != len(data):
        raise ValueError("the certificate table is not at the end of the file")
    if end > hashed:
        h.update(data[hashed:end])
    return h.hexdigest()


def pesign_sha256(path):
    out = subprocess.run(["pesign", "--hash", "--in", path], capture_output=True, text=True, check=True).stdout
    m = re.search(r"hash:\s*([0-9a-f]{64})", out)
    if not m:
        raise ValueError("pesign printed no hash: %r" % out)
    return m.group(1)


def main(argv):
    check = "--check" in argv
    args = [a for a in argv if a != "--check"] or ["build"]
    images = []
    for arg in args:
        images += sorted(glob.glob(os.path.join(arg, "*.efi"))) if os.path.isdir(arg) else [arg]
    if not images:
        print("Hashes: no image in %s" % " ".join(args))
        return 1
    bad = 0
    if not check:
        print("%-28s %7s  %-64s  %s" % ("image", "bytes", "SHA-256 of the file", "Authenticode SHA-256 (= pesign --hash)"))
    for path in images:
        try:
            with open(path, "rb") as f:
                data = f.read()
            ours = authenticode_sha256(data)
            theirs = pesign_sha256(path)
        except (ValueError, OSError, subprocess.CalledProcessError) as e:
            print("%s: %s" % (path, e))
            bad += 1
            continue
        if ours != theirs:
            print("%s: Authenticode SHA-256 %s, pesign says %s" % (path, ours, theirs))
            bad += 1
        elif not check:
            print("%-28s %7d  %s  %s" % (os.path.basename(path), len(data), hashlib.sha256(data).hexdigest(), ours))
    if bad:
        print("Hashes: FAILED for %d of %d images" % (bad, len(images)))
        return 1
    print("Hashes: %d images, each Authenticode SHA-256 the same as pesign's" % len(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
