#!/usr/bin/env bash
# Compile-only check of our UEFI and PI definitions against EDK2's MdePkg
# (and MdeModulePkg's IPMI_PROTOCOL).
# Usage: CheckLayout.sh EDK2_SOURCE_DIR WORK_DIR
# SPDX-License-Identifier: BSD-2-Clause-Patent
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
edk2=${1:?EDK2 source dir (Scripts/BuildFirmware.sh makes BUILD/firmware/edk2)}
work=${2:?work dir}
[ -d "$edk2/MdePkg/Include" ] || { echo "CheckLayout: no MdePkg under $edk2: run Scripts/BuildFirmware.sh first" >&2; exit 1; }
mkdir -p "$work"
cc -std=c11 -w -fshort-wchar -I"$edk2/MdePkg/Include" -I"$edk2/MdePkg/Include/X64" -I"$edk2/MdeModulePkg/Include" -I"$here" \
   "$here/MdePkgLayoutProbe.c" -o "$work/MdePkgLayoutProbe"
"$work/MdePkgLayoutProbe" >"$work/MdePkgLayout.h"
clang++-14 -std=c++17 -fsyntax-only -Wall -Werror -I"$here/../../TavriPkg/Include" -I"$here/../../Standalone/Include" -I"$work" -I"$here" "$here/LayoutCheck.cpp"
echo "CheckLayout: $(grep -c '^#define' "$work/MdePkgLayout.h") offsets, sizes, values and GUIDs agree with MdePkg and MdeModulePkg ($edk2)"
