#!/usr/bin/env python3
"""Turn a dependency expression written with GUID names into a binary
DXE_DEPEX section body with BaseTools' GenDepex, for a binary INF (EDK2
ignores a [Depex] section in a binary-only module).

The expression is the [Depex] section of a source INF, so that a module's
dependency is written once, or a .dxs file ('#' comments, then the
expression). Either is made of names, AND, OR, NOT, TRUE, FALSE, BEFORE,
AFTER; names are looked up in the given DEC files ([Guids], [Protocols],
[Ppis]) or are FILE_GUIDs written as registry-format GUIDs.

Usage: MakeDepex.py GENDEPEX OUT.depex FILE.inf|FILE.dxs DEC...

SPDX-License-Identifier: BSD-2-Clause-Patent
"""

import re
import subprocess
import sys

GUID_C = re.compile(r"^\s*(\w+)\s*=\s*(\{[^}]*\{[^}]*\}\s*\})", re.M)
REGISTRY = re.compile(r"^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$")
OPERATORS = {"AND", "OR", "NOT", "TRUE", "FALSE", "BEFORE", "AFTER", "(", ")"}


def dec_guids(paths):
    names = {}
    for path in paths:
        with open(path, encoding="utf-8", errors="replace") as f:
            for name, value in GUID_C.findall(f.read()):
                names.setdefault(name, " ".join(value.split()))
    return names


def registry_to_c(text):
    p = text.split("-")
    tail = p[3] + p[4]
    data4 = ", ".join("0x" + tail[i:i + 2] for i in range(0, 16, 2))
    return "{ 0x%s, 0x%s, 0x%s, { %s } }" % (p[0], p[1], p[2], data4)


def depex_lines(path):
    """The lines of the expression: a whole .dxs file, or an INF's [Depex]."""
    with open(path, encoding="utf-8") as f:
        lines = [line.split("#", 1)[0].strip() for line in f]
    if not path.endswith(".inf"):
        return lines
    inside, found = False, []
    for line in lines:
        if line.startswith("["):
            inside = line.lower().startswith("[depex")
        elif inside:
            found.append(line)
    if not any(found):
        sys.exit("MakeDepex: %s has no [Depex] section" % path)
    return found


def expression(dxs, names):
    text = " ".join(depex_lines(dxs))
    words = text.replace("(", " ( ").replace(")", " ) ").split()
    out = []
    for word in words:
        if word in OPERATORS:
            out.append(word)
        elif REGISTRY.match(word):
            out.append(registry_to_c(word))
        elif word in names:
            out.append(names[word])
        else:
            sys.exit("MakeDepex: %s: unknown GUID name %s" % (dxs, word))
    return " ".join(out)


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    gendepex, out, dxs, decs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    expr = expression(dxs, dec_guids(decs))
    subprocess.run([gendepex, "-q", "-t", "DXE_DRIVER", "-o", out, "-e", expr], check=True)


if __name__ == "__main__":
    main()
