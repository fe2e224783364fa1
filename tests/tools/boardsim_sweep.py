#!/usr/bin/env python3
"""boardsim sweep, briefly: the host form over every built-in board (a sample of the points of
every boot and slot call), a sample in the image form, the JSON against its schema, and the
--fault that reproduces a point."""
import json
import pathlib
import sys
import tempfile

import jsonschema
import checks
from checks import check, finish

boardsim, schema_path, boards_dir, host_sample, image_sample = sys.argv[1:6]
schema = json.loads(pathlib.Path(schema_path).read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)


def tool(*args, status=0):
    return checks.run(boardsim, *args, status=status)


def sweep(*args, failing=False):
    doc = json.loads(tool("sweep", "--json", "--jobs", "2", *args, status=int(failing)).stdout)
    errors = [e.message for e in validator.iter_errors(doc)]
    check(f"sweep {' '.join(args)}: valid against the schema {errors[:1]}", not errors)
    check(f"sweep {' '.join(args)}: {'some' if failing else 'no'} point failed {doc['failures'][:1]}",
          (doc["failed"] != 0) == failing)
    return doc


boards = sorted(p.stem for p in pathlib.Path(boards_dir).glob("*.json"))
host = sweep("--host", "--sample", host_sample)
check("every built-in board's boot is a target",
      sorted(t["board"] for t in host["targets"] if t["run"] == "boot") == boards)
check("slot calls are targets too", any(t["run"] != "boot" for t in host["targets"]))
tried = {k["kind"] for k in host["kinds"] if k["points"] > 0}
check(f"every kind was tried ({len(tried)} of {len(host['kinds'])})",
      tried == {k["kind"] for k in host["kinds"]})
not_run = sum(k["not_run"] for k in host["kinds"])
check("passed, no effect and not run add up to the points",
      host["passed"] + host["no_effect"] + not_run == sum(k["points"] for k in host["kinds"]))
# Every point listed is one whose fault strikes where the module can see it; a fault that can change
# nothing it sees is a HOB the walk stops at before a list that holds nothing for it anyway.
check("every point run struck", host["struck"] == len(host["points"]) - not_run)
no_effect = {k["kind"] for k in host["kinds"] if k["no_effect"]}
check(f"no effect only where a broken HOB can change nothing ({sorted(no_effect)})",
      no_effect <= {k["kind"] for k in host["kinds"] if k["kind"].startswith("hob-")})
check("each point says where it struck", all(
    (p["struck"] is not None) == (p["class"] != "not-run") for p in host["points"]))

# Every point's outcome is in the document, and each returned value leads back to its points.
check("every point tried has its outcome", len(host["points"]) == sum(k["points"] for k in host["kinds"]))
returned = sum(k["returned"] + k["not_offered"] + k["no_effect"] for k in host["kinds"])
check("the returned rows count every point that returned",
      sum(row["points"] for row in host["returned"]) == returned)
check("each row's first point returned that value in that run", all(
    host["points"][row["first_point"]]["returned"] == row["value"]
    and host["targets"][host["points"][row["first_point"]]["target"]]["run"] == row["run"]
    for row in host["returned"]))
check("the fallback has one spelling", not any(
    "254" in row["value"] for row in host["returned"]))

image = sweep("--sample", image_sample)
check("the image form ran", image["module"].startswith("image ") and image["passed"] > 0)
check("the host form's stack is not measured", host["stack"] is None)
check("the image form names its deepest stack and where",
      image["stack"] is not None and image["stack"]["deepest_bytes"] > 0)

# Points started from checkpoints come out as those run from reset on a new CPU each, point for
# point: the documents differ only in their times.
def untimed(doc):
    return {key: value for key, value in doc.items() if key != "seconds"}


for board in ("default", "variant1-id1f-rb1"):
    checkpoints = sweep("--board", board, "--sample", image_sample)
    from_reset = sweep("--board", board, "--sample", image_sample, "--from-reset")
    check(f"{board}: from checkpoints as from reset", untimed(checkpoints) == untimed(from_reset))

# The text gives the same counts, and closes with them alone on a line.
text = tool("sweep", "--host", "--board", "default", "--op", "GetLevel").stdout.splitlines()
small = sweep("--host", "--board", "default", "--op", "GetLevel")
check("the text closes with the counts", text[-1] ==
      f"{small['passed']} passed, {small['no_effect']} no effect, {small['failed']} failed; the "
      f"fault struck in {small['struck']} of the {len(small['points'])} points run")

# Each cell counts the points its fault-free run lists: a whole sweep runs them all, a sample some
# of them (two targets, so that a kind's one point drawn leaves the other's cell empty), and the
# kinds of both list as many as the whole sweep runs.
def cells(doc):
    return [(t["run"], c["kind"], c["listed"], c["points"]) for t in doc["targets"] for c in t["by_kind"]]


two_ops = ("--host", "--board", "default", "--op", "GetLevel", "--op", "ReadRegister")
whole, sampled = sweep(*two_ops), sweep(*two_ops, "--sample", "5")
check("a whole sweep runs every point listed", all(listed == points for *_, listed, points in cells(whole)))
check("a sampled one some of them, and in some cell fewer",
      all(points <= listed for *_, listed, points in cells(sampled))
      and any(points < listed for *_, listed, points in cells(sampled)))
check("its cells list as many as the whole sweep runs, kind by kind", all(
    sum(listed for _, kind, listed, _ in cells(sampled) if kind == k["kind"]) == k["points"]
    for k in whole["kinds"]))
check("a sampled cell with no point drawn stays listed",
      any(points == 0 and listed > 0 for *_, listed, points in cells(sampled)))

# A --fault adds to the faults of the board file: both strike, and the sweep gives one verdict
# however its points are run (from checkpoints of a reference where the file's faults already
# struck, from reset, in the host form), on boards that carry faults and tight budgets of their own.
own_dir = pathlib.Path(tempfile.mkdtemp(prefix="boardsim-own-"))
own_boards = {  # name: the built-in board it starts from, what it adds, whether points get stuck
    "own-abort": ("default", {"faults": {"i2c_abort_on_byte": 5}}, False),
    "own-freeze": ("default", {"faults": {"pm_timer_frozen_from_read": 200}}, False),
    "own-stop": ("variant6", {"faults": {"i2c_stops_acknowledging":
                                         [{"address": "0x5E", "from_transfer": 9}]},
                              "time_budget_ms": 1000}, False),
    "own-budget": ("flaky-pads", {"access_budget": 101900}, True),
}
for name, (base, extra, stuck) in own_boards.items():
    board = json.loads((pathlib.Path(boards_dir) / f"{base}.json").read_text())
    board.setdefault("faults", {}).update(extra.get("faults", {}))
    board.update({k: v for k, v in extra.items() if k != "faults"}, name=name)
    (own_dir / f"{name}.json").write_text(json.dumps(board))
    path = str(own_dir / f"{name}.json")
    checkpoints = sweep("--board", path, "--sample", image_sample, failing=stuck)
    from_reset = sweep("--board", path, "--sample", image_sample, "--from-reset", failing=stuck)
    on_host = sweep("--board", path, "--sample", image_sample, "--host", failing=stuck)
    check(f"{name}: from checkpoints as from reset", untimed(checkpoints) == untimed(from_reset))
    check(f"{name}: the host form gives the same points, classes and strikes",
          [(p["fault"], p["class"], p["returned"], p["struck"]) for p in checkpoints["points"]] ==
          [(p["fault"], p["class"], p["returned"], p["struck"]) for p in on_host["points"]])

# --list-points: a target's points, one a line after its command, each taken by --fault.
listed = tool("sweep", "--host", "--list-points", "--board", "variant6", "--op", "ReadVoltage",
              "--kinds", "conversion-never-ends,timer-frozen").stdout.splitlines()
check("the list names the target's command first",
      listed[0].startswith("# boardsim op --host --board variant6 ReadVoltage: "))
check("then its points", listed[1] == "conversion-never-ends:0x5E" and "timer-frozen@1" in listed)
tool("op", "--host", "--board", "variant6", "ReadVoltage", "--fault", listed[-1])
points = json.loads(tool("sweep", "--host", "--list-points", "--json", "--board", "flaky-pads",
                         "--op", "GetLevel").stdout)
check("the list as JSON is valid against the schema", validator.is_valid(points))

# A point is reproduced alone by the --fault the sweep prints; one the board cannot carry, or
# that does not parse, is bad input.
tool("run", "--host", "--fault", "pad-reads-all-ones:0xFED0D130@6")
# Without an end marker the walk meets the zeros after the list, in both forms.
tool("run", "--host", "--fault", "hob-no-end-marker")
tool("run", "--fault", "hob-no-end-marker")
tool("op", "--host", "--board", "variant6", "ReadVoltage", "--fault", "conversion-never-ends:0x5E")
tool("run", "--host", "--fault", "conversion-never-ends:0x34", status=2)
tool("run", "--host", "--fault", "bytes-refused@1", status=2)
tool("sweep", "--kinds", "nothing", status=2)
unknown = tool("run", "--host", "--fault", "nothing@1", status=2).stderr
check("an unknown kind is answered with the kinds", "(kinds: byte-refused, " in unknown
      and "punit-reads-all-ones" in unknown)

finish()
