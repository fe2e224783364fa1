#!/usr/bin/env python3
"""The board description's checks, as a port's author meets them: each row spoils the reference
description in one way and requires the generator to refuse it with exit status 1 and exactly
the one line given (file, place, field), writing no tables. The descriptions in the tree (the
reference and the worked port) are accepted.
usage: board_description.py SOURCE_DIR"""
import json
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))
from checks import check, finish  # noqa: E402

source = pathlib.Path(sys.argv[1])
generator = source / "cmake" / "BoardTables.py"
reference = json.loads((source / "firmware" / "board" / "module.json").read_text())


def row(document, community, index):
    return document["pad_tables"][community][index]


def set_field(community, index, field, value):
    return lambda d: row(d, community, index).__setitem__(field, value)


# (what is spoilt, how, the line expected after "FILE: ")
CASES = [
    ("a pad not in its community", set_field("0x1000", 3, "pad", 256),
     "pad_tables 0x1000, row 3, field pad: pad 256 does not exist in community 0x1000 (pads 0-255)"),
    ("a pad listed twice", set_field("0x2000", 5, "pad", 29),
     "pad_tables 0x2000, row 5, field pad: pad 29 listed twice (first in row 0)"),
    ("a pull out of range", set_field("0x0000", 2, "pull", 7),
     "pad_tables 0x0000, row 2, field pull: 7 is out of range (0-6)"),
    ("a function out of range", set_field("0x0000", 0, "function", "0x8"),
     "pad_tables 0x0000, row 0, field function: 8 is out of range (0-7)"),
    ("a direction not named", set_field("0x1000", 0, "direction", "in"),
     'pad_tables 0x1000, row 0, field direction: "in" is not one of output, input, off, keep'),
    ("a missing required field", lambda d: row(d, "0x1000", 4).pop("nibble"),
     "pad_tables 0x1000, row 4: missing required field nibble"),
    ("a missing table", lambda d: d["pad_tables"].pop("0x2000"),
     "pad_tables: missing required field 0x2000"),
    ("an early pad listed twice", lambda d: d["early_pads"]["pads"].append(33),
     "early_pads, pad 10: pad 33 listed twice"),
    ("a board-step pad in no community", lambda d: d["board_step"].update(level_pad="0x3000:1"),
     "board_step, field level_pad: no community at 0x3000 (0x0000, 0x1000 or 0x2000)"),
    ("a board-step bit that is two bits", lambda d: d["board_step"].update(variant5_bit="0x03"),
     "board_step, field variant5_bit: 0x03 is not a single bit"),
    ("a missing board step", lambda d: d.pop("board_step"),
     "the description: missing required field board_step"),
]


def generate(path, output):
    return subprocess.run([sys.executable, str(generator), str(path), str(output)],
                          capture_output=True, text=True)


with tempfile.TemporaryDirectory() as temp:
    folder = pathlib.Path(temp)
    for what, spoil, line in CASES:
        document = json.loads(json.dumps(reference))
        spoil(document)
        path = folder / "module.json"
        path.write_text(json.dumps(document, indent=1))
        done = generate(path, folder / "out")
        check(f"{what}: exit {done.returncode}, {done.stderr.strip()!r}",
              done.returncode == 1 and done.stderr == f"{path}: {line}\n" and not done.stdout)
        check(f"{what}: no tables written", not (folder / "out").exists())
    for accepted in ("firmware/board/module.json", "examples/second-board/module.json"):
        done = generate(source / accepted, folder / accepted.replace("/", "-"))
        check(f"{accepted} accepted: exit {done.returncode} {done.stderr.strip()!r}",
              done.returncode == 0)
finish()
