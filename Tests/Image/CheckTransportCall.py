#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The driver's call of the IPMI transport's send function, read from the image.

Two interface shapes are published under the transport GUID: one takes the
request size and the response size as UINT8, the other as UINT32. The driver
calls the send function so that both read it right, and this check holds the
built image to that:

  - the call is an indirect call with eight arguments: the last four in the
    stack slots at 32, 40, 48 and 56(%rsp);
  - every store into those four slots writes the whole 8-byte slot (no byte,
    word or dword store that leaves stale bytes above a size);
  - the eighth argument is the address of a local, leaq X(%rsp), with X a
    multiple of 4, and every store and load of that local in the function is
    at least 4 bytes wide and covers it whole: a 32-bit size object, not a
    byte.

The check fails when it does not find such a call, so that a change of code
generation makes it fail loudly rather than pass on nothing.

  CheckTransportCall.py [--objdump PATH] IMAGE.efi
  CheckTransportCall.py --listing FILE    (a saved `llvm-objdump -d` listing)
"""

import argparse
import re
import subprocess
import sys

LINE_RE = re.compile(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*)$")
RSP_RE = re.compile(r"^(-?\d+|-?0x[0-9a-f]+)?\(%rsp\)$")
WIDTH = {"b": 1, "w": 2, "l": 4, "q": 8}
ARG_SLOTS = (32, 40, 48, 56)          # arguments 5 to 8 of the x64 UEFI convention


def parse(listing):
    """(address, mnemonic, operand text) of every instruction."""
    out = []
    for line in listing.splitlines():
        m = LINE_RE.match(line)
        if m and not m.group(2).endswith(">:"):
            out.append((int(m.group(1), 16), m.group(2), m.group(3).split("#")[0].strip()))
    return out


def operands(text):
    """Split AT&T operands at the top-level commas."""
    parts, depth, cur = [], 0, ""
    for ch in text:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(cur.strip())
            cur = ""
        else:
            cur += ch
    if cur.strip():
        parts.append(cur.strip())
    return parts


def rsp_offset(operand):
    m = RSP_RE.match(operand)
    return None if m is None else int(m.group(1) or "0", 0)


def access(insn):
    """(kind, offset, width) of a plain mov to or from N(%rsp), else None."""
    _, mnem, text = insn
    ops = operands(text)
    if len(ops) != 2:
        return None
    m = re.fullmatch(r"mov([bwlq])", mnem)
    if m:
        dst, src = rsp_offset(ops[1]), rsp_offset(ops[0])
        if dst is not None:
            return ("store", dst, WIDTH[m.group(1)])
        if src is not None:
            return ("load", src, WIDTH[m.group(1)])
        return None
    m = re.fullmatch(r"mov[sz]([bw])[wlq]", mnem)      # movzbl, movsbq, ...
    if m and rsp_offset(ops[0]) is not None:
        return ("load", rsp_offset(ops[0]), WIDTH[m.group(1)])
    m = re.fullmatch(r"(?:add|sub|and|or|xor|cmp|test|inc|dec)([bwlq])", mnem)
    if m:
        for op in ops:
            if rsp_offset(op) is not None:
                return ("access", rsp_offset(op), WIDTH[m.group(1)])
    return None


def function_start(insns, index, targets):
    """Index of the first instruction of the function holding insns[index]:
    the nearest preceding direct-call target or instruction after a ret."""
    for i in range(index, 0, -1):
        if insns[i][0] in targets or insns[i - 1][1] in ("retq", "ret", "int3"):
            return i
    return 0


def check(listing):
    insns = parse(listing)
    targets = {int(t, 16) for _, mnem, text in insns if mnem in ("callq", "call")
               for t in re.findall(r"^0x([0-9a-f]+)", text)}
    problems, sites = [], 0
    for index, (addr, mnem, text) in enumerate(insns):
        if mnem not in ("callq", "call") or not text.startswith("*"):
            continue
        # The instructions since the previous call, ret or jmp set this call up.
        first = index
        while first > 0 and insns[first - 1][1] not in ("callq", "call", "retq", "ret", "jmp"):
            first -= 1
        setup = insns[first:index]
        slot_stores = [(insn, a) for insn in setup for a in [access(insn)]
                       if a and a[0] == "store" and a[1] < 64 and a[1] + a[2] > 32]
        if {a[1] for _, a in slot_stores} != set(ARG_SLOTS):
            continue
        sites += 1
        where = "call at 0x%x" % addr
        for insn, (_, off, width) in slot_stores:
            if off not in ARG_SLOTS or width != 8:
                problems.append("%s: a %d-byte store into argument slot %d(%%rsp) leaves stale bytes: %s %s"
                                % (where, width, off - off % 8, insn[1], insn[2]))
        # The eighth argument: the response size object.
        size_at = None
        for i in range(first, index):
            ops = operands(insns[i][2])
            if insns[i][1] == "movq" and len(ops) == 2 and rsp_offset(ops[1]) == 56 and ops[0].startswith("%"):
                for j in range(i - 1, first - 1, -1):
                    lops = operands(insns[j][2])
                    if insns[j][1] == "leaq" and len(lops) == 2 and lops[1] == ops[0]:
                        size_at = rsp_offset(lops[0])
                        break
        if size_at is None:
            problems.append("%s: the eighth argument is not the address of a stack local (leaq N(%%rsp))" % where)
            continue
        if size_at % 4 != 0:
            problems.append("%s: the response size object at %d(%%rsp) is not 4-byte aligned" % (where, size_at))
        start = function_start(insns, index, targets)
        end = index
        while end < len(insns) and insns[end][1] not in ("retq", "ret"):
            end += 1
        touched = 0
        for insn in insns[start:end]:
            a = access(insn)
            if a is None or a[1] + a[2] <= size_at or a[1] >= size_at + 4:
                continue
            touched += 1
            if a[1] > size_at or a[1] + a[2] < size_at + 4:
                problems.append("%s: a %d-byte %s of the response size object at %d(%%rsp): %s %s"
                                % (where, a[2], a[0], size_at, insn[1], insn[2]))
        if touched == 0:
            problems.append("%s: no store of the response size object at %d(%%rsp) found" % (where, size_at))
    if sites == 0:
        problems.append("no indirect call with eight arguments (stack slots 32..56) found: the transport call was not recognised")
    return sites, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("image", nargs="?")
    parser.add_argument("--objdump", default="llvm-objdump-14")
    parser.add_argument("--listing")
    args = parser.parse_args()
    if args.listing:
        with open(args.listing) as f:
            listing = f.read()
    else:
        listing = subprocess.run([args.objdump, "-d", "--no-show-raw-insn", args.image],
                                 check=True, capture_output=True, text=True).stdout
    sites, problems = check(listing)
    for p in problems:
        print("FAIL " + p)
    if problems:
        return 1
    print("ok: %d transport call site(s), sizes passed whole" % sites)
    return 0


if __name__ == "__main__":
    sys.exit(main())
