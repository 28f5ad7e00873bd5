"""Images made by `frutool make` for the cross-checks: descriptions a factory
line would write (fixed model fields, serials from the environment), one
whose values outgrow every default area size, a minimal one, one with
area and image sizes given, and a JSON one (every encoding but BCD plus,
custom fields, records). Each made image must print back every value of
its description.

SPDX-License-Identifier: BSD-2-Clause-Patent
"""

import json
import os
import subprocess

from . import FruFields as F

ENV = {"UNIT_SERIAL": "UNIT-000123", "BOARD_SERIAL": "BRD-SN-000123", "ASSET": "ASSET-7"}

DESCRIPTIONS = {
    "made-factory": """# one unit of the line
chassis.type = 23
chassis.part = CH-PART-01
chassis.serial = ${UNIT_SERIAL}
board.mfg_date = 2024-05-01 08:00
board.manufacturer = Tavri Systems
board.name = TVR-2S-MB
board.serial = ${BOARD_SERIAL}
board.part = BRD-PN-77
board.file_id = fru-v1
board.custom1 = line 7
product.manufacturer = Tavri Systems
product.name = TVR Server
product.part = TVR-SRV-2S
product.version = A01
product.serial = ${UNIT_SERIAL}
product.asset = ${ASSET}
product.file_id = fru-v1
multirecord.1.type = 0x00
multirecord.1.data = EE028403280A2823B036504620672F3F140B202310E40200
multirecord.2.type = 0x01
multirecord.2.data = 81B004C4FF3C0078000000246F
multirecord.3.type = 0xC0
multirecord.3.data = 5701000102
image.size = 1024
""",
    "made-grown": "\n".join(
        ["chassis.type = 17", "chassis.part = " + "P" * 63, "chassis.serial = " + "S" * 63]
        + ["chassis.custom%d = %s" % (i, "chassis extra %d " % i + "c" * 40) for i in range(1, 6)]
        + ["board.manufacturer = " + "M" * 63, "board.name = " + "N" * 63, "board.serial = ${BOARD_SERIAL}",
           "board.part = " + "Q" * 63, "board.file_id = 0x0102"]
        + ["board.custom%d = %s" % (i, "board extra %d " % i + "b" * 45) for i in range(1, 8)]
        + ["product.manufacturer = " + "m" * 63, "product.name = " + "n" * 63, "product.version = 42"]
        + ["product.custom%d = %s" % (i, "product extra %d " % i + "p" * 44) for i in range(1, 10)]
        + ["multirecord.1.type = 0x02", "multirecord.1.data = 0250FB14FB8CFB32006400B80B",
           "multirecord.2.type = 0x03", "multirecord.2.data = 02" + b"host-17".hex().upper()]) + "\n",
    "made-minimal": "board.serial = ${BOARD_SERIAL}\n",
    "made-sized": """board.size = 256
board.serial = 0042
product.size = 64
product.name = Small
internal.data = 0102030405060708090A0B0C0D0E
image.size = 2048
""",
}

# A JSON description, told apart by its first character; `$${` is a literal `${`.
DESCRIPTIONS["made-json"] = json.dumps({
    "size": 768,
    "chassis": {"type": 17, "fields": [{"value": "CH-PART-01"}, {"value": "${UNIT_SERIAL}"},
                                       {"encoding": "6bit", "value": "SIX BIT CUSTOM"}]},
    "board": {"mfg_date": "2025-01-31 23:59", "fields": [
        {"value": "Tavri Systems"}, {"name": "board.name", "value": "TVR-2S-MB"},
        {"value": "${BOARD_SERIAL}"}, {"encoding": "6bit", "value": "BRD-PN-77"}, {"encoding": "binary", "value": "0102"},
        {"value": "cost $${literal}"}, {"encoding": "binary", "value": "B14A87"}]},
    "product": {"size": 128, "fields": [{"value": "Tavri Systems"}, {"value": "TVR Server"}, {"value": "TVR-SRV-2S"},
                                        {"value": "A01"}, {"value": "${UNIT_SERIAL}"}, {"value": "${ASSET}"}, {"value": ""}]},
    "multirecord": {"records": [
        {"type": 1, "data": "81B004C4FF3C0078000000246F"},
        {"type": 2, "data": "0250FB14FB8CFB32006400B80B", "decoded": {"output": 2, "nominal_voltage": -12000}}]},
}, indent=1)

# Value forms print shows for a description's value: hex digits upper case.
CANON = {"multirecord.1.data", "multirecord.2.data", "multirecord.3.data"}


def expected_lines(text):
    """The `name: value` lines print must show for a description."""
    lines = []
    if text.startswith("{"):
        for area, body in json.loads(text).items():
            for index, item in enumerate(body.get("fields", []) if isinstance(body, dict) else []):
                value = item["value"]
                for var, val in ENV.items():
                    value = value.replace("${%s}" % var, val)
                value = value.replace("$${", "${")
                value = "0x" + value if item.get("encoding") == "binary" else value
                name = F.field_name(area, index)
                lines.append("%s: %s" % (name, value))
        return lines
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith("#") or "=" not in line:
            continue
        name, value = (part.strip() for part in line.split("=", 1))
        if name.endswith(".size") or name == "internal.data":
            continue
        for var, val in ENV.items():
            value = value.replace("${%s}" % var, val)
        if name.endswith(".type") and name.startswith("multirecord"):
            value = "0x%02X" % int(value, 0)
        if name == "chassis.type":
            continue  # printed with its name in brackets
        lines.append("%s: %s" % (name, value))
    return lines


def made_images(frutool, work):
    """(name, image, "good") for every description, made with frutool, and
    a list of problems: a make that failed or a value print does not give back."""
    cases, problems = [], []
    for name, text in DESCRIPTIONS.items():
        desc = os.path.join(work, name + (".json" if text.startswith("{") else ".txt"))
        out = os.path.join(work, name + ".bin")
        with open(desc, "w") as f:
            f.write(text)
        proc = subprocess.run([frutool, "make", desc, out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              env=dict(os.environ, **ENV), timeout=60)
        if proc.returncode != 0:
            problems.append("%s: frutool make exit %d: %s" % (name, proc.returncode, proc.stdout.decode()))
            continue
        printed = subprocess.run([frutool, "print", out], stdout=subprocess.PIPE, timeout=60).stdout.decode("latin-1")
        missing = [line for line in expected_lines(text) if line not in printed.splitlines()]
        if missing:
            problems.append("%s: print does not give back %s" % (name, missing))
        with open(out, "rb") as f:
            cases.append((name, f.read(), "good"))
    return cases, problems
