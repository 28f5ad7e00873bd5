# SPDX-License-Identifier: BSD-2-Clause-Patent
"""What the FRU cross-checks share: frutool print read into fields, and the
field-by-field comparison with a decoder nobody here wrote.

Fields are {name: value}; custom fields are one list per area under
`<area>.custom`, in order. Empty fields are left out, as the other decoders
leave them out.
"""

import os
import re
import subprocess


def run(cmd, timeout=60):
    """Run a command (UTC, output as Latin-1). Returns (status, output)."""
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout,
                          env=dict(os.environ, TZ="UTC"))
    return proc.returncode, proc.stdout.decode("latin-1")


def frutool_fields(text):
    """frutool print as fields, values as frutool prints them except that
    \\xHH escapes are turned back into their characters."""
    fields = {}
    for line in text.splitlines():
        m = re.match(r"(chassis|board|product)\.(\w+): (.*)$", line)
        if not m:
            continue
        area, name, value = m.groups()
        value = re.sub(r"\\x([0-9A-F]{2})", lambda h: chr(int(h.group(1), 16)), value)
        if value == "":
            continue
        if name.startswith("custom"):
            fields.setdefault(area + ".custom", []).append(value)
        else:
            fields[area + "." + name] = value
    return fields


FIXED = {"chassis": ["part", "serial"],
         "board": ["manufacturer", "name", "serial", "part", "file_id"],
         "product": ["manufacturer", "name", "part", "version", "serial", "asset", "file_id"]}


def field_name(area, index):
    """The name print gives field `index` of an area: fixed ones, then custom1, ..."""
    fixed = FIXED[area]
    return "%s.%s" % (area, fixed[index] if index < len(fixed) else "custom%d" % (index - len(fixed) + 1))


def map_values(fields, convert):
    """fields with convert(name, value) applied to every value, custom
    fields one by one."""
    out = {}
    for name, value in fields.items():
        if isinstance(value, list):
            out[name] = [convert(name, v) for v in value]
        else:
            out[name] = convert(name, value)
    return out


def count(fields):
    return sum(len(v) if isinstance(v, list) else 1 for v in fields.values())


def compare(case, ours, theirs, decoder, problems, left_out=(), ours_only=False):
    """Every field in ours must be in theirs with the same value and, unless
    ours_only, the other way round; fields named in left_out are skipped.
    Returns the number of fields compared."""
    names = set(ours) if ours_only else set(ours) | set(theirs)
    compared = 0
    for field in sorted(names):
        if field in left_out:
            continue
        if ours.get(field) != theirs.get(field):
            problems.append("%s: %s is %r in frutool, %r in %s"
                            % (case, field, ours.get(field), theirs.get(field), decoder))
        compared += len(ours[field]) if isinstance(ours.get(field), list) else 1
    return compared


def report(summary, left_out, problems):
    """Print the outcome; returns the exit status."""
    print(summary)
    for (case, field), why in sorted(left_out.items()):
        print("  left out: %s %s (%s)" % (case, field, why))
    if problems:
        print("FAILED:")
        for p in problems:
            print("  - " + p)
        return 1
    print("All fields agree.")
    return 0
