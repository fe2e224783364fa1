#!/usr/bin/env python3
"""No function of the host code is longer than 80 lines, as pmccabe counts them: a longer one is
split where its parts have names. The module under firmware/ reads like firmware and is held to
its own review; the page script counts its functions in the page test."""
import pathlib
import subprocess
import sys

LIMIT = 80
top = pathlib.Path(sys.argv[1])
sources = sorted(str(path) for folder in ("tools", "sim", "emu", "package", "common")
                 for path in (top / folder).rglob("*.cpp"))
done = subprocess.run(["pmccabe", *sources], capture_output=True, text=True, check=True)
long = []
for line in done.stdout.splitlines():
    # modified complexity, complexity, statements, first line, lines, "file(line): function"
    fields = line.split("\t")
    if len(fields) == 6 and int(fields[4]) > LIMIT:
        long.append(f"{fields[5]}, {fields[4]} lines")
for entry in long:
    print("too long: " + entry.replace(str(top) + "/", ""))
print(f"{len(sources)} files, {len(long)} functions over {LIMIT} lines")
sys.exit(1 if long else 0)
