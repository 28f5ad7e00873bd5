#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Deploys TavriDxe on Debian's Secure Boot OVMF (OVMF_CODE_4M.snakeoil.fd
with OVMF_VARS_4M.snakeoil.fd, Secure Boot on), with images signed by sbsign
with Debian's snakeoil db key.

The UEFI shell does not start on that firmware, so the signed Secure Boot
loader app, booted as BOOTX64.EFI, does the engineer's steps, one per run:
it seeds the setup variables and asks LoadImage for the unsigned and the
tampered copy of TavriDxe.efi, then stores Driver0000 (the unsigned copy) and
Driver0001 (the signed KCS transport) and resets; on its next run it points
Driver0000 at the signed TavriDxe.efi and resets. The boot manager does all
the loading from Driver####. Each boot is told apart by its resets in the
trace of port writes.

Usage: python3 -m Harness.DeploySecureBoot BUILD_DIR [--work DIR]
"""

import argparse
import os
import sys
import tempfile

from . import DeployReport as R
from . import EfiSigning as S
from . import Fru
from . import Qemu as Q
from . import Words as W

REFUSED = (R.EFI_SECURITY_VIOLATION, R.EFI_ACCESS_DENIED)


def esp_files(build, work):
    key = S.decrypted_key(work)
    try:
        signed = {name: S.sign(os.path.join(build, name), os.path.join(work, name), key)
                  for name in ("TavriDxe.efi", "KcsIpmiDxe.efi", "SecureBootLoader.efi")}
    finally:
        os.remove(key)
    tampered, at = S.tampered_copy(signed["TavriDxe.efi"], os.path.join(work, "TavriDxe-tampered.efi"))
    images = {
        "EFI/BOOT/BOOTX64.EFI": signed["SecureBootLoader.efi"],
        "TavriDxe.efi": signed["TavriDxe.efi"],
        "KcsIpmiDxe.efi": signed["KcsIpmiDxe.efi"],
        "TavriDxe-unsigned.efi": os.path.join(build, "TavriDxe.efi"),
        "TavriDxe-tampered.efi": tampered,
    }
    return images, at


def nothing_of_the_driver(c, boot, parsed, when):
    """A boot in which no TavriDxe image ran: no image, no FRU protocol, no
    preset store, no reset, no KCS traffic, no CMOS marker."""
    pm, _, _ = R.seeded_variables()
    c.want(not any(path.startswith("\\TavriDxe") for path, _ in parsed["images"]), "%s: a TavriDxe image is loaded" % when, "%s: no TavriDxe image loaded" % when)
    c.want(parsed["fru"].get("status") == R.EFI_NOT_FOUND, "%s: the FRU access protocol is installed" % when, "%s: no FRU access protocol" % when)
    c.want(parsed["pm"].get("crc32") == R.crc(pm), "%s: SocketPowerManagementConfig is not as seeded" % when, "%s: SocketPowerManagementConfig as seeded" % when)
    c.want(boot["reset"] == 0x06 and boot["kcs_writes"] == 0 and not boot["cmos"],
           "%s: expected only the loader's own reset (0xCF9<-0x06), no KCS and no CMOS writes" % when,
           "%s: only the loader's own reset (0xCF9 <- 0x06), no KCS or CMOS write" % when)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--work")
    parser.add_argument("--timeout", type=int, default=300)
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="tavri-secureboot-")
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(args.build)

    files, tampered_at = esp_files(build, work)
    c = R.Checks()
    print("Signed with sbsign, Debian's snakeoil key (%s):" % S.SNAKEOIL_CERT)
    for name in ("EFI/BOOT/BOOTX64.EFI", "TavriDxe.efi", "KcsIpmiDxe.efi", "TavriDxe-unsigned.efi", "TavriDxe-tampered.efi"):
        ok = S.verifies(files[name])
        print("  %-24s sbverify: %s" % (name, "signature OK" if ok else "no valid signature"))
        c.want(ok == (name not in ("TavriDxe-unsigned.efi", "TavriDxe-tampered.efi")), "sbverify disagrees on %s" % name, "sbverify agrees on %s" % name)
    print("  (TavriDxe-tampered.efi is the signed image with byte 0x%X of .text flipped)" % tampered_at)

    session = R.run_session(work, files, args.timeout, secure=True)
    boots = session.boots
    print("\nSecure Boot OVMF (%s): %d boots in %.1f s" % (Q.SECURE_CODE, len(boots), session.elapsed))
    parsed = [R.print_boot(i + 1, b, ("BdsDxe: starting",), build, work) for i, b in enumerate(boots)]
    c.want(session.rc == 0, "QEMU did not end by the guest's shutdown", "QEMU ended by the guest's shutdown")
    if not c.want(len(boots) == 4, "expected 4 boots (loader seeds, unsigned Driver0000, preset reset, preset in force), saw %d" % len(boots),
                  "four boots: the loader seeds, unsigned Driver0000, the preset reset, the preset in force"):
        return c.finish(session, "")
    first, refused, cycle, running = boots
    p1, p2, _, p4 = parsed

    c.want(p1["firmware"].get("secure-boot") == "1", "Secure Boot is not on", "Secure Boot is on")
    c.want(p1["seed"] == {"pm": "0", "iio": "0"}, "the loader did not seed both setup variables", "the loader seeded both setup variables")
    loads = {f.get("path"): f.get("status") for f in p1["loads"]}
    for path in ("\\TavriDxe-unsigned.efi", "\\TavriDxe-tampered.efi"):
        c.want(loads.get(path) in REFUSED, "LoadImage of %s returned %s, expected a refusal" % (path, loads.get(path)),
               "LoadImage of %s refused" % path)
    nothing_of_the_driver(c, first, p1, "boot 1")
    c.want([o.get("status") for o in p1["options"]] == ["0", "0"], "the loader could not store Driver0000/Driver0001", "the loader stored Driver0000 and Driver0001")

    nothing_of_the_driver(c, refused, p2, "boot 2 (Driver0000 unsigned)")
    c.want(R.loaded_by(p2, "\\KcsIpmiDxe.efi") == "the boot manager", "boot 2: the boot manager did not load the signed KCS transport",
           "boot 2: the boot manager loaded the signed KCS transport")
    c.want("BdsDxe: starting Boot" in refused["console"], "boot 2: the boot manager did not go on to boot", "boot 2: the boot manager went on to boot")

    c.want(cycle["reset"] == 0x0E and cycle["reset_before_kcs"] and cycle["kcs_writes"] == 0 and not cycle["report"],
           "boot 3: the signed driver should store the preset and reset (0xCF9<-0x0E) before any KCS write or boot option",
           "boot 3: the signed driver reset (0xCF9 <- 0x0E) before any KCS write or boot option")

    _, in_force, iio = R.seeded_variables()
    c.want(running["reset"] is None and running["kcs_before_cmos"] == R.PROBE_KCS_WRITES
           and running["cmos"] == R.CMOS_MARKER and running["cmos_after_kcs"],
           "boot 4: expected the driver's %d KCS writes, then the CMOS marker, and no reset" % R.PROBE_KCS_WRITES,
           "boot 4: the driver's %d KCS writes, then the CMOS marker, no reset" % R.PROBE_KCS_WRITES)
    for path in ("\\TavriDxe.efi", "\\KcsIpmiDxe.efi"):
        c.want(R.loaded_by(p4, path) == "the boot manager", "boot 4: %s was not loaded by the boot manager" % path, "boot 4: %s loaded by the boot manager" % path)
    c.want(p4["pm"].get("in-force") == "9/9" and p4["pm"].get("crc32") == R.crc(in_force), "boot 4: the preset is not in force", "boot 4: preset 1 in force")
    c.want(p4["iio"].get("crc32") == R.crc(iio) and p4["iio"].get("source-hob") == "absent",
           "boot 4: SocketIioConfig changed without an IIO source HOB",
           "boot 4: SocketIioConfig unchanged without an IIO source HOB")
    c.want(p4["fru"].get("status") == "0" and p4["fru_bytes"] == Fru.board_fru()[:256],
           "boot 4: no FRU read through the FRU access protocol",
           "boot 4: ReadFruData returns the BMC's FRU bytes")

    print()
    for path in ("\\TavriDxe-unsigned.efi", "\\TavriDxe-tampered.efi"):
        print("LoadImage of %s from the signed loader: refused with %s; nothing of the driver ran." % (path, W.status_name(loads.get(path))))
    print("Driver0000 -> \\TavriDxe-unsigned.efi: the boot manager refused it, loaded Driver0001 and booted BOOTX64.EFI; "
          "no FRU protocol, no preset store, no KCS or CMOS write.")
    print("Driver0000 -> \\TavriDxe.efi (signed): loaded by the boot manager; the preset cycle ran and the FRU protocol is installed.")
    return c.finish(session, "All checks passed: signed driver loads and runs under Secure Boot; unsigned and tampered copies are refused and the platform boots on.")


if __name__ == "__main__":
    sys.exit(main())
