#!/usr/bin/env python3
"""boardsim sweep on boards whose file names hold what a terminal or a shell acts on: every line it
prints (FAIL ... on PATH, reproduce:, --list-points) and every string of its JSON is printable and
one line, escaped as run escapes a path, and each reproduce command runs as printed."""
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile

from checks import check, finish

boardsim, boards_dir = sys.argv[1:3]

# name, what it would do printed raw
NAMES = [
    (b"plain-name", "nothing: the control row"),
    (b"esc\x1b[31mred", "an escape sequence colours the terminal"),
    (b"line\nbreak", "a newline splits a listed command so its tail reads as a fault point"),
    (b"bell\x07", "BEL rings"),
    (b"c1\xc2\x9bcsi", "U+009B, a C1 control sequence introducer"),
    (b"quote'd and spaced", "a quote and a space split a shell word"),
    (b"back\\slash$HOME", "a backslash and a dollar sign a shell reads"),
]
POINT = re.compile(rb"^[a-z-]+(:[^ @]+)?(@[0-9]+)?$")


def printable(data):
    """Printable ASCII lines only: no control byte but the newline, nothing from 0x7F up."""
    return all(0x20 <= b < 0x7F or b == 0x0A for b in data)


def strings(node):
    if isinstance(node, str):
        yield node
    elif isinstance(node, dict):
        for value in node.values():
            yield from strings(value)
    elif isinstance(node, list):
        for value in node:
            yield from strings(value)


def sweep(board, *args):
    return subprocess.run([boardsim, "sweep", "--host", "--jobs", "1", "--board", board, *args],
                          capture_output=True)


work = pathlib.Path(tempfile.mkdtemp(prefix="boardsim-names-"))
reference = json.loads((pathlib.Path(boards_dir) / "default.json").read_text())
# A budget just above the fault-free boot's accesses: faults that make the module wait fail as stuck.
reference["access_budget"] = 103000
for name, why in NAMES:
    board = os.fsencode(work) + b"/" + name + b".json"
    pathlib.Path(os.fsdecode(board)).write_text(json.dumps(reference))
    label = f"{name!r} ({why})"

    text = sweep(board, "--sample", "30")
    check(f"{label}: the sweep found failures (exit {text.returncode})", text.returncode == 1)
    check(f"{label}: the text is printable lines", printable(text.stdout))
    reproduce = [line.split(b"reproduce: ", 1)[1] for line in text.stdout.split(b"\n")
                 if b"reproduce: " in line]
    check(f"{label}: each failure has its command", len(reproduce) > 0 and
          len(reproduce) == text.stdout.count(b"\nFAIL "))
    if reproduce:
        command = os.fsencode(boardsim) + reproduce[0][len(b"boardsim"):]
        ran = subprocess.run([b"bash", b"-c", command], capture_output=True)
        check(f"{label}: the first reproduce command runs as printed and fails again "
              f"(exit {ran.returncode} {ran.stderr[-120:]!r})",
              ran.returncode == 1 and b"budget of" in ran.stdout + ran.stderr)

    document = sweep(board, "--sample", "30", "--json")
    doc = json.loads(document.stdout)
    check(f"{label}: every string of the JSON is printable (a failure's detail has its lines)",
          all(printable(s.encode("utf-8")) for s in strings(doc)))
    check(f"{label}: every board and reproduce command is one line",
          all("\n" not in s for s in [t["board"] for t in doc["targets"]] +
              [f[key] for f in doc["failures"] for key in ("board", "reproduce")]))
    check(f"{label}: the JSON reproduces as the text does",
          sorted(f["reproduce"].encode() for f in doc["failures"])
          == sorted(reproduce))

    listed = sweep(board, "--list-points", "--op", "GetLevel")
    lines = listed.stdout.rstrip(b"\n").split(b"\n")
    check(f"{label}: the point list is printable", printable(listed.stdout))
    check(f"{label}: every listed line is a target's command or a point",
          all(line.startswith(b"# boardsim ") or POINT.match(line) for line in lines))
    check(f"{label}: one command line per target",
          sum(line.startswith(b"# ") for line in lines) == 1)

finish()
