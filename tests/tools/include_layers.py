#!/usr/bin/env python3
"""boardsim's folders are layers: a file includes only from its own layer or those below it, and
no command includes another command. From the top: main and its command line, and beside them
the Python module (python/); the commands; cli
(the command line's parts); expect (what a run must show, checked against its document); session
(running a boot or a slot call); render (text, JSON, waveform, page); analysis (models of a
trace, without text)."""
import pathlib
import re
import sys

LAYERS = {"analysis": 0, "render": 1, "session": 2, "expect": 3, "cli": 4, "": 6, "python": 6}
COMMANDS = {"run", "op", "decode", "sweep", "board", "version"}
COMMAND_LAYER = 5

root = pathlib.Path(sys.argv[1]) / "tools" / "boardsim"


def layer(folder):
    if folder in COMMANDS:
        return COMMAND_LAYER
    if folder not in LAYERS:
        sys.exit(f"include_layers: tools/boardsim/{folder} has no layer: name it here")
    return LAYERS[folder]


wrong = []
files = [path for path in root.rglob("*") if path.suffix in (".h", ".cpp")]
for path in files:
    here = path.parent.relative_to(root).as_posix().strip(".")
    for target in re.findall(r'#include "tools/boardsim/([^"]+)"', path.read_text()):
        there = str(pathlib.PurePosixPath(target).parent).strip(".")
        upward = layer(there) > layer(here)
        across = here in COMMANDS and there in COMMANDS and here != there
        if upward or across:
            wrong.append(f"{path.relative_to(root)} includes {target}")
for line in wrong:
    print("back up a layer: " + line)
print(f"{len(files)} files, {len(wrong)} includes against the layers")
sys.exit(1 if wrong else 0)
