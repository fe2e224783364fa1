#!/usr/bin/env python3
"""--source: every access of an image run names its source line, and decode names the same."""
import pathlib
import re
import sys
import tempfile
import checks
from checks import check, finish

boardsim = sys.argv[1]
work = pathlib.Path(tempfile.mkdtemp())
# seq time op width address value eip function file:line
SOURCED = re.compile(r"^\d+ \d+ (R|W|IN|OUT) \d+ 0x[0-9A-F]{8} 0x[0-9A-F]+ 0x[0-9A-F]{8} "
                     r"\w+ firmware/\S+\.(cpp|h):\d+$")


def tool(*args, status=0):
    return checks.run(boardsim, *args, status=status)


for name, command in [("boot", ["run"]), ("slot call", ["op", "ReadVoltage"])]:
    saved = work / f"{command[0]}.trace"
    tool(*command, "--trace", str(saved), "--source")
    lines = saved.read_text().splitlines()
    records = [line for line in lines if not line.startswith("#")]
    check(f"{name}: version 2", lines[0] == "# boardtrace 2")
    unnamed = [line for line in records if not SOURCED.match(line)]
    check(f"{name}: every access names a source line ({len(records)}, first unnamed: "
          f"{unnamed[:1]})", records and not unnamed)
    check(f"{name}: decode --source names the same lines",
          tool("decode", "--source", str(saved)).stdout == saved.read_text())

plain = work / "plain.trace"
tool("run", "--trace", str(plain))
check("a trace without --source stays version 1", plain.read_text().startswith("# boardtrace 1\n"))
# The views past the first line, which names the file.
check("decode reads both versions to the same views",
      tool("decode", str(plain)).stdout.split("\n")[1:] ==
      tool("decode", str(work / "run.trace")).stdout.split("\n")[1:])

# Bad input: one line, exit status 2.
for args, message in [
        (["run", "--host", "--trace", "-", "--source"], "boardsim: --host excludes --source\n"),
        (["decode", "--source", str(plain)],
         f"boardsim: {plain}: the trace has no instruction addresses to name (write it with "
         "--source)\n"),
]:
    check(f"{' '.join(args)}: says {message!r}", tool(*args, status=2).stderr == message)

finish()
