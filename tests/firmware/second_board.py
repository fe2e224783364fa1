#!/usr/bin/env python3
"""The worked port, built from examples/second-board/module.json beside the reference image: its
image differs, it boots on the port's simulated board, and its board step reads and drives what
the description names, in the module's order, rather than the reference board's pads.
usage: second_board.py BOARDSIM SOURCE_DIR REFERENCE_IMAGE PORT_IMAGE"""
import json
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))
from checks import check, finish  # noqa: E402

boardsim, source, reference, port = sys.argv[1], pathlib.Path(sys.argv[2]), *sys.argv[3:5]
folder = source / "examples" / "second-board"
step = json.loads((folder / "module.json").read_text())["board_step"]
board = json.loads((folder / "board.json").read_text())
register = int(step["variant5_register"], 16)
before = int(board["i2c_devices"][0]["registers"][step["variant5_register"]], 16)


def pad(key, level):
    community, number = step[key].split(":")
    return ("pad-driven", f"0x{int(community, 16):04X}", int(number), level)


# The port's level pad reads low on its board: the step's low branch, then the rest.
EXPECTED = [("pmic-read", register, before),
            pad("when_low_set", "high"), pad("when_low_clear", "low"),
            ("pmic-write", register, before | int(step["variant5_bit"], 16)),
            pad("set_after_register", "high"), pad("clear_after_settle", "low")]


def item(entry):
    if entry["kind"] == "pad-driven":
        return (entry["kind"], entry["community"], entry["pad"], entry["level"])
    return (entry["kind"], entry.get("register"), entry.get("value"))


check("the port's image differs from the reference image",
      pathlib.Path(reference).read_bytes() != pathlib.Path(port).read_bytes())
done = subprocess.run([boardsim, "run", "--image", port, "--board", str(folder / "board.json"),
                       "--json"], capture_output=True, text=True)
check(f"the port boots on its board: exit {done.returncode} {done.stderr[-200:]!r}",
      done.returncode == 0)
if done.returncode == 0:
    summary = json.loads(done.stdout)
    check(f"status {summary['status']['name']}", summary["status"]["name"] == "EFI_SUCCESS")
    got = [item(entry) for entry in summary["board_step"]]
    check(f"the board step is the port's: {got}", got == EXPECTED)

# The port's expectations: met by its image on its board; the reference image on that board
# drives the reference board's pads instead, and each pad that differs is named.
expect = ["--board", str(folder / "board.json"), "--expect", str(folder / "expect.json")]
met = subprocess.run([boardsim, "run", "--image", port, *expect], capture_output=True, text=True)
check(f"the port meets its expectations: exit {met.returncode} {met.stdout[-300:]!r}",
      met.returncode == 0 and "expectations met" in met.stdout)
unmet = subprocess.run([boardsim, "run", "--image", reference, *expect], capture_output=True,
                       text=True)
named = {line.split()[1] for line in unmet.stdout.splitlines() if line.startswith("pad 0x")}
check(f"the reference image misses the port's pads: exit {unmet.returncode}, named {named}",
      unmet.returncode == 1 and {"0x2000:23", "0x1000:8", "0x1000:12"} <= named)
finish()
