#!/usr/bin/env python3
"""--junit of run, op and sweep: well-formed JUnit XML whose counts are the run's own (its
expectations, or the sweep's targets and kinds), failures with their commands, and a report that
never overwrites an input."""
import json
import pathlib
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

import checks
from checks import check, finish

boardsim, boards_dir = sys.argv[1:3]
work = pathlib.Path(tempfile.mkdtemp())


def write(name, value):
    path = work / name
    path.write_text(value if isinstance(value, str) else json.dumps(value))
    return str(path)


def report(path):
    root = ElementTree.parse(path).getroot()
    cases = root.findall("./testsuite/testcase")
    counts = {key: int(root.get(key)) for key in ("tests", "failures", "errors", "skipped")}
    check(f"{path}: root is testsuites", root.tag == "testsuites")
    check(f"{path}: its counts are its cases' {counts}",
          counts["tests"] == len(cases)
          and counts["failures"] == len(root.findall("./testsuite/testcase/failure"))
          and counts["skipped"] == len(root.findall("./testsuite/testcase/skipped")))
    return root, cases


# A run's expectations, met and unmet: a case each, a failure each unmet one, named as the line.
met = write("met.json", {"status": "EFI_SUCCESS", "pmic_registers": {"0x34:0x30": "0x85"},
                         "stack_used_bytes": {"max": 4096}})
checks.run(boardsim, "run", "--host", "--expect", met, "--junit", str(work / "met.xml"))
root, cases = report(work / "met.xml")
check("met: 3 cases, 1 skipped (the host build's stack), none failed",
      (len(cases), root.get("skipped"), root.get("failures")) == (3, "1", "0"))

unmet = write("unmet.json", {"status": "EFI_ABORTED", "pads": {"0x0000:93": {"mode": 1}},
                             "time_ns": {"max": 5}, "pmic_registers": {"0x34:0x30": "0x85"}})
done = checks.run(boardsim, "run", "--host", "--expect", unmet, "--junit", str(work / "unmet.xml"),
                  status=1)
root, cases = report(work / "unmet.xml")
failed = [c.get("name") for c in cases if c.find("failure") is not None]
lines = done.stdout.splitlines()[-3:]
check(f"unmet: 4 cases, 3 failed, each the tool's line {failed} {lines}",
      len(cases) == 4 and len(failed) == 3
      and [line.split(": expected")[0] for line in lines] == failed)

# op: the slot's returned value.
op_expect = write("op.json", {"returned": "0x41"})
checks.run(boardsim, "op", "--host", "--expect", op_expect, "--junit", str(work / "op.xml"),
           "ReadRegister", "0x03")
root, cases = report(work / "op.xml")
check("op: one case, passed", len(cases) == 1 and root.get("failures") == "0")

# A sweep: a suite per target, the reference run and each kind a case; counts as --json's.
kinds = "bus-stalled,semaphore-never-granted,hob-no-end-marker"
done = checks.run(boardsim, "sweep", "--host", "--jobs", "1", "--board", "default", "--op",
                  "ReadRegister", "--kinds", kinds, "--json", "--junit", str(work / "sweep.xml"))
document = json.loads(done.stdout)
root, cases = report(work / "sweep.xml")
suites = root.findall("testsuite")
with_points = sum(1 for t in document["targets"] for k in t["by_kind"] if k["points"] > 0)
check(f"sweep: a suite per target, 1 + {len(kinds.split(','))} cases each",
      len(suites) == len(document["targets"])
      and all(len(s.findall("testcase")) == 1 + len(kinds.split(",")) for s in suites))
check(f"sweep: kinds without points skipped ({with_points} with points)",
      int(root.get("skipped")) == len(cases) - len(suites) - with_points)
failed_cells = sum(1 for t in document["targets"] for k in t["by_kind"] if k["failed"] > 0)
check("sweep: a failure per kind and target with failed points, as the document's",
      int(root.get("failures")) == failed_cells)
check("sweep: each failure names its points' commands",
      all(f.text.count("reproduce: boardsim") >= 1 for f in root.iter("failure")))

# Sampled, a kind whose listed points --sample drew none of is skipped saying so; one the run
# lists none of as unsampled.
done = checks.run(boardsim, "sweep", "--host", "--jobs", "1", "--board", "default", "--op",
                  "ReadRegister", "--op", "WriteRegister", "--kinds", kinds, "--sample", "2",
                  "--json", "--junit", str(work / "sampled.xml"))
root, cases = report(work / "sampled.xml")
skipped = {(s.get("name"), c.get("name")): c.find("skipped").get("message")
           for s in root.findall("testsuite") for c in s.findall("testcase")
           if c.find("skipped") is not None}
expected = {}
for target in json.loads(done.stdout)["targets"]:
    cells = {c["kind"]: c for c in target["by_kind"]}
    for kind in kinds.split(","):
        listed = cells[kind]["listed"] if kind in cells else 0
        if listed == 0 or cells[kind]["points"] == 0:
            expected[(f"default {target['run']}", kind)] = (
                "no point of this kind: the fault-free run reached none" if listed == 0
                else "the one point listed was not drawn by --sample" if listed == 1
                else f"none of the {listed} points listed was drawn by --sample")
check(f"sampled: each skipped kind says why, one of them left out by --sample {skipped}",
      skipped == expected and any("--sample" in why for why in expected.values()))

# A sweep whose reference run cannot finish: that case fails with why, its kinds are skipped; the
# board as named (here a path with markup's characters) is written escaped.
board = json.loads((pathlib.Path(boards_dir) / "default.json").read_text())
board["time_budget_ms"] = 1
short = write("short <&\"'>.json", board)
checks.run(boardsim, "sweep", "--host", "--jobs", "1", "--board", short, "--kinds", kinds,
           "--junit", str(work / "short.xml"), status=1)
root, cases = report(work / "short.xml")
boot = root.find("testsuite")
reference = boot.find("testcase[@name='reference']")
check("short budget: the boot's reference case fails and says why",
      reference is not None and "budget" in reference.find("failure").get("message"))
check("short budget: the suite keeps the board as named", boot.get("name") == short + " boot")
check("short budget: every kind of the boot skipped",
      len(boot.findall("testcase/skipped")) == len(kinds.split(",")))

# The report is an output: naming an input is refused, and the input is as it was.
before = pathlib.Path(met).read_text()
checks.run(boardsim, "run", "--host", "--expect", met, "--junit", met, status=2)
check("--junit naming the expectation file leaves it as it was",
      pathlib.Path(met).read_text() == before)
checks.run(boardsim, "run", "--host", "--junit", str(work / "alone.xml"), status=2)
check("--junit without --expect writes nothing", not (work / "alone.xml").exists())

finish()
