#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Write a private apt source list for one Debian suite, derived from the
machine's own binary entries: each enabled `deb` entry naming the machine's
release (its codename, or codename-updates, codename-security, ...) becomes a
`deb-src` entry with the same URIs, components and options (Signed-By
included) for SUITE and its matching pockets. Entries for other archives
(a vendor's "nodistro", ...) are left out. Nothing of the machine's apt
configuration is changed: the result goes to OUT_DIR, for apt's
Dir::Etc::SourceList (one-line entries) and Dir::Etc::SourceParts (deb822).

Usage: AptSources.py SUITE OUT_DIR
Makes: OUT_DIR/sources.list, OUT_DIR/parts/edk2.sources; prints how many
       entries were derived (none is an error).
"""

import glob
import os
import re
import sys


def codename():
    with open("/etc/os-release") as f:
        for line in f:
            if line.startswith("VERSION_CODENAME="):
                return line.split("=", 1)[1].strip().strip('"')
    sys.exit("AptSources: /etc/os-release names no VERSION_CODENAME")


def retarget(suites, own, suite):
    """The suites of the machine's release, moved to SUITE; None when the
    entry names none of them."""
    pocket = re.compile(r"^%s(-[a-z]+)?$" % re.escape(own))
    moved = [suite + (m.group(1) or "") for m in map(pocket.match, suites) if m]
    return moved or None


def deb822(path, own, suite):
    with open(path) as f:
        paragraphs = re.split(r"\n\s*\n", f.read())
    for para in paragraphs:
        fields, order = {}, []
        for line in para.splitlines():
            if line.startswith("#") or not line.strip():
                continue
            if line[0] in " \t" and order:
                fields[order[-1]] += "\n" + line
                continue
            key, _, value = line.partition(":")
            fields[key.strip()] = value.strip()
            order.append(key.strip())
        if "deb" not in fields.get("Types", "").split() or fields.get("Enabled", "yes").lower() == "no":
            continue
        suites = retarget(fields.get("Suites", "").split(), own, suite)
        if suites is None:
            continue
        fields["Types"], fields["Suites"] = "deb-src", " ".join(suites)
        yield "\n".join("%s: %s" % (k, fields[k]) for k in order) + "\n"


def one_line(path, own, suite):
    with open(path) as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if not words or words[0] != "deb":
                continue
            opts = []
            rest = words[1:]
            if rest and rest[0].startswith("["):
                while rest:
                    word = rest.pop(0)
                    opts.append(word)
                    if word.endswith("]"):
                        break
            if len(rest) < 2:
                continue
            moved = retarget([rest[1]], own, suite)
            if moved:
                yield " ".join(["deb-src"] + opts + [rest[0], moved[0]] + rest[2:]) + "\n"


def main():
    suite, out = sys.argv[1], sys.argv[2]
    own = codename()
    parts = sorted(glob.glob("/etc/apt/sources.list.d/*.sources"))
    lists = [p for p in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")) if os.path.exists(p)]
    entries822 = [e for p in parts for e in deb822(p, own, suite)]
    entries = [e for p in lists for e in one_line(p, own, suite)]
    os.makedirs(os.path.join(out, "parts"), exist_ok=True)
    with open(os.path.join(out, "parts", "edk2.sources"), "w") as f:
        f.write("\n".join(entries822))
    with open(os.path.join(out, "sources.list"), "w") as f:
        f.writelines(entries)
    if not entries822 and not entries:
        sys.exit("AptSources: none of the machine's apt entries names its release %s" % own)
    print(len(entries822) + len(entries))


if __name__ == "__main__":
    main()
