#!/usr/bin/env python3
"""A stuck run names the instruction that made its last access (the site --source records), in
every way the run can be made: straight, with each access's site recorded, under GDB with a client
that only continues, and as a sweep's point, from a checkpoint of the fault-free run and from
reset; the host form gives the same last accesses, with no address. On a board with a tight
access budget the sweeps from checkpoints and from reset agree point for point.
usage: boardsim_stuck.py BOARDSIM BOARDS_DIR"""
import json
import pathlib
import re
import shutil
import sys
import tempfile

import checks
from checks import check, finish
from gdb_wire import frame, reply, start

boardsim, boards_dir = sys.argv[1:3]
work = pathlib.Path(tempfile.mkdtemp())
# The default boot makes 101,811 accesses: a fault that makes the module wait runs this out.
board_doc = json.loads((pathlib.Path(boards_dir) / "default.json").read_text())
board_doc["access_budget"] = 101900
board = work / "tight.json"
board.write_text(json.dumps(board_doc))
# One slot's points keep it short; both kinds wait, on the bus controller and on the P-Unit.
target = ["--board", str(board), "--op", "ReadRegister"]
kinds = ["--kinds", "bus-stalled,punit-reads-all-ones"]


def sweep(*args):
    done = checks.run(boardsim, "sweep", "--json", "--jobs", "1", *target, *kinds, *args, status=1)
    return json.loads(done.stdout)


def untimed(doc):
    return {key: value for key, value in doc.items() if key != "seconds"}


checkpoints = sweep()
from_reset = sweep("--from-reset")
host = sweep("--host")
check("from checkpoints as from reset, point for point", untimed(checkpoints) == untimed(from_reset))

stuck = [p for p in checkpoints["points"] if p["class"] == "stuck"]
check(f"points got stuck ({len(stuck)})", stuck)
# The hardest case first: a budget run out at a port instruction, where the emulator's EIP names
# the start of a translated block.
stuck.sort(key=lambda p: " IN " not in p["detail"].splitlines()[-1])
point = stuck[0]
op = ["op", "--board", str(board), "ReadRegister", "0", "--fault", point["fault"]]


def failure(summary):
    """The failure from a summary as the sweep's detail gives it: the status and last accesses."""
    return re.search(r"did not return: (.*\nlast accesses:(\n  .*)*)", summary).group(1)


def under_gdb():
    tool, client, _ = start(boardsim, *op)
    client.sendall(b"+" + frame(b"c"))
    check("under GDB: the run ends with exit status 1", reply(client) == b"W01")
    client.close()
    return tool.communicate(timeout=600)[0]


saved = work / "sites.trace"
modes = [
    ("straight", lambda: checks.run(boardsim, *op, status=1).stdout),
    ("with sites recorded",
     lambda: checks.run(boardsim, *op, "--trace", str(saved), "--source", status=1).stdout),
    ("under GDB, continuing", under_gdb),
]
texts = {name: failure(make()) for name, make in modes}
texts["sweep, from a checkpoint"] = point["detail"]  # and from reset, the same document

# seq time op width address value eip [note]: the last access and the instruction that made it.
last = saved.read_text().splitlines()[-1].split()
site = int(last[6], 16)
# The runner loads the image at 0x00800000.
first = (f"access budget of 101900 exhausted at 0x{site:08X} "
         f"(image RVA 0x{site - 0x00800000:08X})")
expected = texts["straight"]
check(f"the first line names the instruction of the last access: {expected.splitlines()[0]!r}, "
      f"{first!r}", expected.splitlines()[0] == first)
check("the last line is that access", expected.splitlines()[-1] == "  " + " ".join(last[:6]))
for name, text in texts.items():
    check(f"{name}: the same failure", text == expected)

# The host build has no instruction address; its detail lists the same last accesses.
host_detail = next(p["detail"] for p in host["points"] if p["fault"] == point["fault"])
check(f"host: the same detail without the address ({host_detail.splitlines()[0]!r})",
      host_detail == re.sub(r" at 0x[0-9A-F]{8} \(image RVA 0x[0-9A-F]{8}\)", "", expected, 1))

shutil.rmtree(work)
finish()
