#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Put TavriPkg into OvmfPkgX64's platform description and flash layout.

DSC: TavriBaseLib and FruFormatLib as library classes, and a [Components]
section with the IIO HOB PEIM, TavriDxe, the KCS IPMI transport's three
faces, IpmiProtocolBridgeDxe, the FRU tool for the shell and FruSmbiosDxe,
all built from source (the tool is built, not put in the flash; FruSmbiosDxe
goes in the flash of the ipmi-protocol variant only: the other firmware tests
count the IPMI commands of TavriDxe and the boot option alone).
FDF: the PEIM into PEIFV after PlatformPei; the variant's DXE drivers
(TavriDxe, then the transport) at the end of DXEFV; and a rule for binary DXE drivers, which OvmfPkg's FDF
lacks. The variant chooses which INF stands in the firmware volume:

  source           TavriDxe.inf and KcsIpmiDxe.inf, both built from source
  binary           TavriDxe's binary INF (the standalone image), the
                   transport from source
  transport-first  TavriDxe from source, the transport's binary INF with a
                   dependency expression of TRUE (the negative test)
  transport2       TavriDxe and the transport's IPMI_TRANSPORT2 face, both
                   from source
  transport2-published-depex
                   the IPMI_TRANSPORT2 face's binary INF with the dependency
                   IpmiFeaturePkg's GenericIpmi publishes
  ipmi-protocol    EDK2's own IPMI stack: the transport's IPMI_PROTOCOL face
                   (a stand-in for ManageabilityPkg's IpmiProtocolDxe, no
                   dependency, so it starts long before TavriDxe), TavriDxe,
                   IpmiProtocolBridgeDxe after it, and FruSmbiosDxe, all from
                   source

The edits start from the pristine files (kept beside them as *.orig), so
running this again gives the same result; a file whose content would not
change is not rewritten, so EDK2's build does not parse the platform again
for nothing. Binary INFs are listed in the FDF only, as EDK2 allows.

The DXE drivers go after OvmfPkg's include of its TPM drivers, whose path
differs between EDK2 generations (OvmfPkg/OvmfTpmDxe.fdf.inc up to 2022.11,
OvmfPkg/Include/Fdf/OvmfTpmDxe.fdf.inc since): Scripts/BuildFirmware.sh
names it.

Usage: AddTavriPkg.py [--tpm-include FDF_INC] EDK2_SOURCE_DIR [VARIANT]
"""

import argparse
import os
import shutil
import sys

DSC_ADDITIONS = """
################################################################################
#
# TavriPkg: TavriDxe and the IPMI transport it waits for, and a test PEIM that
# leaves the IIO source HOB.
#
################################################################################
[LibraryClasses]
  TavriBaseLib|TavriPkg/Library/TavriBaseLib/TavriBaseLib.inf
  FruFormatLib|TavriPkg/Library/FruFormatLib/FruFormatLib.inf

[Components]
  TavriPkg/IioHobPei/IioHobPei.inf
  TavriPkg/TavriDxe/TavriDxe.inf
  TavriPkg/KcsIpmiDxe/KcsIpmiDxe.inf
  TavriPkg/KcsIpmiDxe/KcsIpmiDxeTransport2.inf
  TavriPkg/KcsIpmiDxe/KcsIpmiDxeIpmiProtocol.inf
  TavriPkg/IpmiProtocolBridgeDxe/IpmiProtocolBridgeDxe.inf
  TavriPkg/FruTool/FruTool.inf
  TavriPkg/FruSmbiosDxe/FruSmbiosDxe.inf
"""

FDF_PEIM = "INF  TavriPkg/IioHobPei/IioHobPei.inf\n"

FDF_DXE = """
#
# TavriDxe before the platform's IPMI transport: the transport's installation
# runs TavriDxe's hooks, so TavriDxe must have registered for it first. The
# transport's dependency holds TavriDxe's (both variable services), and within
# one dispatch pass the DXE core starts drivers in the order of this volume.
#
{infs}"""

VARIANTS = {
    "source": ("TavriPkg/TavriDxe/TavriDxe.inf", "TavriPkg/KcsIpmiDxe/KcsIpmiDxe.inf"),
    "ipmi-protocol": ("TavriPkg/KcsIpmiDxe/KcsIpmiDxeIpmiProtocol.inf", "TavriPkg/TavriDxe/TavriDxe.inf",
                      "TavriPkg/IpmiProtocolBridgeDxe/IpmiProtocolBridgeDxe.inf",
                      "TavriPkg/FruSmbiosDxe/FruSmbiosDxe.inf"),
    "binary": ("TavriPkg/TavriDxe/Binary/TavriDxe.inf", "TavriPkg/KcsIpmiDxe/KcsIpmiDxe.inf"),
    "transport-first": ("TavriPkg/TavriDxe/TavriDxe.inf", "TavriPkg/KcsIpmiDxe/Binary/KcsIpmiDxe.inf"),
    "transport2": ("TavriPkg/TavriDxe/TavriDxe.inf", "TavriPkg/KcsIpmiDxe/KcsIpmiDxeTransport2.inf"),
    "transport2-published-depex": ("TavriPkg/TavriDxe/TavriDxe.inf",
                                   "TavriPkg/KcsIpmiDxe/Binary/KcsIpmiDxeTransport2.inf"),
}

FDF_RULE = """
[Rule.Common.DXE_DRIVER.BINARY]
  FILE DRIVER = $(NAMED_GUID) {
    DXE_DEPEX DXE_DEPEX Optional      |.depex
    PE32      PE32                    |.efi
    UI        STRING="$(MODULE_NAME)" Optional
    VERSION   STRING="$(INF_VERSION)" Optional BUILD_NUM=$(BUILD_NUMBER)
  }
"""


def pristine(path):
    orig = path + ".orig"
    if not os.path.exists(orig):
        shutil.copy2(path, orig)
    with open(orig, newline="") as f:
        return f.read()


def insert_after(text, anchor, addition):
    if anchor not in text:
        sys.exit("AddTavriPkg: %r not found in OvmfPkgX64's description: not the layout of this EDK2 version"
                 % anchor.strip())
    at = text.index(anchor) + len(anchor)
    return text[:at] + addition + text[at:]


def insert_before(text, anchor, addition):
    at = text.index(anchor)
    return text[:at] + addition + text[at:]


def write_if_changed(path, text):
    with open(path, newline="") as f:
        if f.read() == text:
            return
    with open(path, "w", newline="") as f:
        f.write(text)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tpm-include", default="OvmfPkg/OvmfTpmDxe.fdf.inc")
    parser.add_argument("src")
    parser.add_argument("variant", nargs="?", default="source", choices=sorted(VARIANTS))
    args = parser.parse_args()
    src = args.src
    infs = "".join("INF  %s\n" % inf for inf in VARIANTS[args.variant])
    dsc = os.path.join(src, "OvmfPkg", "OvmfPkgX64.dsc")
    fdf = os.path.join(src, "OvmfPkg", "OvmfPkgX64.fdf")

    text = pristine(dsc)
    write_if_changed(dsc, text + crlf(DSC_ADDITIONS))

    text = pristine(fdf)
    text = insert_after(text, "INF  OvmfPkg/PlatformPei/PlatformPei.inf\r\n", crlf(FDF_PEIM))
    text = insert_after(text, "!include %s\r\n" % args.tpm_include, crlf(FDF_DXE.format(infs=infs)))
    write_if_changed(fdf, text + crlf(FDF_RULE))


if __name__ == "__main__":
    main()
