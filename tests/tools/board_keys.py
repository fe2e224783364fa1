#!/usr/bin/env python3
"""The board reader, the board schema and `boardsim board` know the same keys. The reader's keys
are learnt from the reader itself: an unknown key put into each object it reads is refused with
the keys it takes. Each object's keys must be those the schema allows there, and `boardsim board`
prints every one of them where the board has it.
usage: board_keys.py BOARDSIM SCHEMA BOARDS_DIR"""
import copy
import json

import jsonschema
import pathlib
import re
import subprocess
import sys
import tempfile

from checks import check, finish

boardsim, schema_path, boards_dir = sys.argv[1:4]
schema = json.loads(pathlib.Path(schema_path).read_text())
reference = json.loads((pathlib.Path(boards_dir) / "default.json").read_text())
device = reference["i2c_devices"][0]
PROBE = "zz_not_a_key"


def resolve(node):
    while "$ref" in node:
        node = schema["$defs"][node["$ref"].split("/")[-1]]
    return node


def schema_object(path, kind=None):
    """The schema of the object at path (member names; "[]" for an array's items)."""
    node = schema
    for step in path:
        node = resolve(node)
        node = node["items"] if step == "[]" else node["properties"][step]
    node = resolve(node)
    for branch in node.get("oneOf", []):
        if branch["properties"]["kind"].get("const") == kind:
            return branch
    return node


# where (a path into the board), the board's member holding the probe, the HOB kind if one
OBJECTS = [
    ((), {}, None),
    (("pm_timer",), {"pm_timer": {}}, None),
    (("access_costs_ns",), {"access_costs_ns": {}}, None),
    (("pads", "[]"), {"pads": [{}]}, None),
    (("faults",), {"faults": {}}, None),
    (("i2c_controller",), {"i2c_controller": {}}, None),
    (("i2c_devices", "[]"), {"i2c_devices": [{}]}, None),
    (("i2c_devices", "[]", "conversion"),
     {"i2c_devices": [{"address": device["address"], "model": "pmic-variant1", "conversion": {}}]},
     None),
    (("punit",), {"punit": {}}, None),
] + [(("hobs", "[]"), {"hobs": [{"kind": kind}]}, kind)
     for kind in ["pmic-descriptor", "guid", "other", "end-of-list", "no-end-marker"]]


def probed(members, path):
    """members with the probe key put into the object at path."""
    board = copy.deepcopy(members)
    node = board
    for step in path:
        node = node[0] if step == "[]" else node[step]
    node[PROBE] = 1
    return board


with tempfile.TemporaryDirectory() as work:
    file = pathlib.Path(work) / "probe.json"
    readers = {}
    for path, members, kind in OBJECTS:
        where = ("/".join(path) or "the board") + (f" ({kind})" if kind else "")
        file.write_text(json.dumps(probed(members, path)))
        done = subprocess.run([boardsim, "board", "--check", str(file)], capture_output=True,
                              text=True)
        found = re.search(r'unknown key "' + PROBE + r'" \(expected one of: ([^)]*)\)', done.stderr)
        if not check(f"{where}: the reader names the keys it takes {done.stderr.strip()!r}",
                     found is not None):
            continue
        reader = set(found.group(1).split(", "))
        readers[path, kind] = reader
        node = schema_object(path, kind)
        allowed = set(node.get("properties", {}))
        check(f"{where}: the schema allows the reader's keys, and no others "
              f"(reader only: {sorted(reader - allowed)}, schema only: {sorted(allowed - reader)})",
              reader == allowed)
        check(f"{where}: the schema refuses other keys", node.get("additionalProperties") is False)

    # Every key of the reader is printed where the board has it: the built-in boards, each key
    # that is not a list's member filled in.
    printed = json.loads(subprocess.run([boardsim, "board", "--check", "default"],
                                        capture_output=True, text=True).stdout)
    for path, _, kind in OBJECTS:
        if "[]" in path or path == ("faults",):
            continue  # members of a list, and faults, are printed as the board has them
        node = printed
        for step in path:
            node = node[step]
        wanted = readers.get((path, kind), set())
        where = "/".join(path) or "the board"
        check(f"{where}: boardsim board prints every key (missing: {sorted(wanted - set(node))})",
              wanted <= set(node))

    # Values: the reader and the schema take and refuse the same ones. Each row is a board with
    # one value in one place, spelt as users spell numbers; both must agree on it.
    validator = jsonschema.Draft202012Validator(schema)
    pad = lambda **members: {"pads": [{"community": "0x0000", "pad": 1, "level": 0, **members}]}
    bus = lambda value: {"i2c_controller": {"bar0": value}}
    VALUES = [  # what, the board, whether both take it
        ("community 0x00", pad(community="0x00"), True),
        ("community 0X1000", pad(community="0X1000"), True),
        ("community 0x01000", pad(community="0x01000"), True),
        ("community 4096", pad(community=4096), True),
        ("community 0x0800", pad(community="0x0800"), False),
        ("community 0x3000", pad(community="0x3000"), False),
        ("level 0X1", pad(level="0X1"), True),
        ("level 2", pad(level=2), False),
        ("pad 255", pad(pad=255), True),
        ("pad 0x0FF", pad(pad="0x0FF"), True),
        ("pad 256", pad(pad=256), False),
        ("pad 0x100", pad(pad="0x100"), False),
        ("pad 1.0", pad(pad=1.0), True),
        ("pad 1e2", pad(pad=1e2), True),
        ("pad 1.5", pad(pad=1.5), False),
        ("pad -1", pad(pad=-1), False),
        ("bar0 2^32-1", bus(4294967295), True),
        ("bar0 0xFFFFFFFF", bus("0xFFFFFFFF"), True),
        ("bar0 2^64-1", bus(18446744073709551615), False),
        ("bar0 0x100000000", bus("0x100000000"), False),
        ("bar0 0x", bus("0x"), False),
    ]
    for what, board, taken in VALUES:
        file.write_text(json.dumps(board))
        done = subprocess.run([boardsim, "board", "--check", str(file)], capture_output=True,
                              text=True)
        reader = done.returncode == 0
        valid = validator.is_valid(board)
        check(f"{what}: the reader {'takes' if reader else 'refuses'} it "
              f"({done.stderr.strip()!r}), the schema {'takes' if valid else 'refuses'} it, "
              f"expected both to {'take' if taken else 'refuse'} it",
              reader == valid == taken)

finish()
