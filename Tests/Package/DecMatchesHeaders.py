#!/usr/bin/env python3
"""TavriPkg.dec against the package's C++ headers, so that the two cannot
drift: inside EDK2 the GUIDs come from the DEC (AutoGen), outside it from the
headers' macros through Standalone/Library/GuidTable.cpp.

Checks that every GUID of the DEC's [Guids], [Protocols] and [Ppis] is
declared `extern EFI_GUID` by a header under TavriPkg/Include, that every
such declaration is in the DEC, that the standalone table defines each from
a macro of the header that declares it, and that the DEC's value and the
macro's value are the same 16 bytes. Also that [LibraryClasses] and
[Includes] name files that exist.

Usage: DecMatchesHeaders.py REPO_ROOT

SPDX-License-Identifier: BSD-2-Clause-Patent
"""

import os
import re
import sys

NUMBER = r"0x[0-9A-Fa-f]+|\d+"
GUID_C = re.compile(r"\{\s*(%s)\s*,\s*(%s)\s*,\s*(%s)\s*,\s*\{([^}]*)\}\s*\}" % (NUMBER, NUMBER, NUMBER))


def guid_bytes(text):
    """The 16 bytes of a C GUID initialiser, or None."""
    m = GUID_C.search(text)
    if not m:
        return None
    tail = [int(x, 0) for x in m.group(4).split(",") if x.strip()]
    if len(tail) != 8:
        return None
    return (int(m.group(1), 0).to_bytes(4, "little") + int(m.group(2), 0).to_bytes(2, "little")
            + int(m.group(3), 0).to_bytes(2, "little") + bytes(tail))


def dec_sections(path):
    sections, name = {}, None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if line.startswith("["):
                name = line.strip("[]").split(".")[0].lower()
                sections.setdefault(name, [])
            elif line and name:
                sections[name].append(line)
    return sections


def main():
    root = os.path.abspath(sys.argv[1])
    pkg = os.path.join(root, "TavriPkg")
    sections = dec_sections(os.path.join(pkg, "TavriPkg.dec"))
    problems = []

    dec = {}
    for section in ("guids", "protocols", "ppis"):
        for line in sections.get(section, []):
            name, value = (part.strip() for part in line.split("=", 1))
            dec[name] = guid_bytes(value)
            if dec[name] is None:
                problems.append("DEC: %s has no readable GUID value" % name)

    declared, macros = {}, {}
    for folder, _, files in os.walk(os.path.join(pkg, "Include")):
        for file in files:
            path = os.path.join(folder, file)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            rel = os.path.relpath(path, root)
            for name in re.findall(r"^extern\s+EFI_GUID\s+(g\w+)\s*;", text, re.M):
                declared[name] = rel
            for macro, value in re.findall(r"^#define\s+(\w+_GUID)\s*\\?\s*(\{[^{}]*\{[^{}]*\}\s*\})", text, re.M):
                macros[macro] = (rel, guid_bytes(value))

    with open(os.path.join(root, "Standalone", "Library", "GuidTable.cpp"), encoding="utf-8") as f:
        table = dict(re.findall(r"^EFI_GUID\s+(g\w+)\s*=\s*(\w+)\s*;", f.read(), re.M))

    for name in sorted(set(dec) | set(declared)):
        if name not in declared:
            problems.append("%s is in the DEC but no header under TavriPkg/Include declares it" % name)
            continue
        if name not in dec:
            problems.append("%s is declared in %s but not in the DEC" % (name, declared[name]))
            continue
        macro = table.get(name)
        if macro is None:
            problems.append("%s has no definition in Standalone/Library/GuidTable.cpp" % name)
        elif macro not in macros:
            problems.append("%s is defined from %s, which no header under TavriPkg/Include defines" % (name, macro))
        elif macros[macro][0] != declared[name]:
            problems.append("%s is declared in %s but its macro %s is in %s" % (name, declared[name], macro, macros[macro][0]))
        elif macros[macro][1] != dec[name]:
            problems.append("%s: the DEC says %s, %s in %s says %s"
                            % (name, dec[name].hex(), macro, macros[macro][0], (macros[macro][1] or b"").hex()))

    for line in sections.get("libraryclasses", []):
        cls, header = (part.strip() for part in line.split("|", 1))
        if not os.path.isfile(os.path.join(pkg, header)):
            problems.append("[LibraryClasses] %s names %s, which does not exist" % (cls, header))
    for line in sections.get("includes", []):
        if not os.path.isdir(os.path.join(pkg, line)):
            problems.append("[Includes] names %s, which does not exist" % line)

    for p in problems:
        print("DecMatchesHeaders: " + p)
    if problems:
        return 1
    print("DecMatchesHeaders: %d GUIDs agree between TavriPkg.dec, the package's headers and the standalone table"
          % len(dec))
    return 0


if __name__ == "__main__":
    sys.exit(main())
