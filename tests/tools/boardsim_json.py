#!/usr/bin/env python3
"""boardsim --json against its schema, and decode of saved traces against run's own views."""
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

import jsonschema
import checks
from checks import check, finish

boardsim, image, schema_path, boards_dir = sys.argv[1:5]
schema = json.loads(pathlib.Path(schema_path).read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
work = pathlib.Path(tempfile.mkdtemp())


def tool(*args, status=0, stdin=None):
    return checks.run(boardsim, *args, status=status, stdin=stdin)


# Fields that name the same thing wherever they stand, and their one representation in every
# document: a community as its offset's string, a pad and a PMIC register as numbers.
ONE_FORM = {
    "community": lambda v: isinstance(v, str) and re.fullmatch(r"0x[012]000", v) is not None,
    "pad": lambda v: isinstance(v, int),
    "register": lambda v: v is None or isinstance(v, int),
}


def fields(node, found):
    """Every value of a ONE_FORM field anywhere in a document."""
    if isinstance(node, dict):
        for key, value in node.items():
            if key in ONE_FORM:
                found.setdefault(key, []).append(value)
            fields(value, found)
    elif isinstance(node, list):
        for value in node:
            fields(value, found)
    return found


def document(*args, status=0):
    done = tool(*args, status=status)
    doc = json.loads(done.stdout)
    errors = [e.message for e in validator.iter_errors(doc)]
    check(f"{' '.join(args)}: valid against the schema {errors[:1]}", not errors)
    for key, values in fields(doc, {}).items():
        odd = [v for v in values if not ONE_FORM[key](v)]
        check(f"{' '.join(args)}: every {key} in one form {odd[:2]}", not odd)
    return doc


def views(doc):
    return {key: doc.get(key) for key in ("pmic", "board_step", "pmic_bus")}


def pad_accesses(doc):
    return {(p["community"], p["pad"]): (p["table_row"], p["accesses"]) for p in doc["pads"]["detail"]}


def parts_cover(doc, end):
    phases = doc["timeline"]["phases"]
    return (phases[0]["start_ns"] == 0 and phases[-1]["end_ns"] == end
            and all(a["end_ns"] == b["start_ns"] and a["last_seq"] + 1 == b["first_seq"]
                    for a, b in zip(phases, phases[1:])))


# Expectation files: every example's is valid against the expectation schema, and the tool takes it.
expect_schema = json.loads((pathlib.Path(schema_path).parent / "expect.schema.json").read_text())
jsonschema.Draft202012Validator.check_schema(expect_schema)
expect_validator = jsonschema.Draft202012Validator(expect_schema)
for example in sorted((pathlib.Path(boards_dir).parent / "examples").glob("*/expect.json")):
    errors = [e.message for e in expect_validator.iter_errors(json.loads(example.read_text()))]
    check(f"{example}: valid against the expectation schema {errors[:1]}", not errors)
for wrong in ({"status": "EFI_SUCCESS", "pad": {}}, {"pads": {"0x0000:93": {}}},
              {"time_ns": {}}, {"pmic_transactions": [{"op": "write"}]}):
    check(f"{wrong}: refused by the expectation schema", not expect_validator.is_valid(wrong))

# Board files: every built-in one, and each as board --check fills it in, is valid against the
# board schema; boards lists them with their descriptions; an unknown name names them.
board_schema = json.loads((pathlib.Path(schema_path).parent / "board.schema.json").read_text())
jsonschema.Draft202012Validator.check_schema(board_schema)
board_validator = jsonschema.Draft202012Validator(board_schema)
listed = tool("boards").stdout.splitlines()
for number, board in enumerate(sorted(pathlib.Path(boards_dir).glob("*.json"))):
    given = json.loads(board.read_text())
    errors = [e.message for e in board_validator.iter_errors(given)]
    check(f"{board.stem}: valid against the board schema {errors[:1]}", not errors)
    filled = json.loads(tool("board", "--check", str(board)).stdout)
    errors = [e.message for e in board_validator.iter_errors(filled)]
    check(f"{board.stem}: board --check is valid against it {errors[:1]}", not errors)
    check(f"{board.stem}: board --check keeps what the file says",
          all(filled[key] == value for key, value in given.items()
              if key in ("name", "description", "time_budget_ms", "hobs")))
    check(f"{board.stem}: boards names it with its description",
          listed[number].split(None, 1) == [board.stem, given["description"]])
unknown = tool("run", "--board", "nowhere", status=2).stderr
check("an unknown board names the built-in ones",
      "; built-in boards: acpi-decoded, default, flaky-pads," in unknown)

# Every built-in board: the run's document, and decode of its trace gives the same views.
for board in sorted(pathlib.Path(boards_dir).glob("*.json")):
    trace = work / (board.stem + ".trace")
    run = document("run", "--host", "--json", "--pads", "--board", board.stem, "--trace", str(trace))
    decoded = document("decode", "--json", "--pads", str(trace))
    check(f"{board.stem}: decode --json has run's views", views(decoded) == views(run))
    check(f"{board.stem}: decode tells every pad's accesses and rows as run does",
          pad_accesses(decoded) == pad_accesses(run))
    check(f"{board.stem}: the run's parts cover it", parts_cover(run, run["time_ns"]))
    # One definition of a changed pad: the summary's count is the pads --pads marks changed, and
    # --pads changed lists exactly those, in the text as in the document.
    marked = [(p["community"], p["pad"]) for p in run["pads"]["detail"] if p["changed"]]
    check(f"{board.stem}: {run['pads']['changed']} changed, as --pads marks {len(marked)}",
          run["pads"]["changed"] == len(marked))
    only = document("run", "--host", "--json", "--pads", "changed", "--board", board.stem)
    check(f"{board.stem}: --pads changed lists the changed pads",
          [(p["community"], p["pad"]) for p in only["pads"]["detail"]] == marked)
    records = sum(1 for line in trace.read_text().splitlines() if not line.startswith("#"))
    check(f"{board.stem}: every access of the trace is counted",
          run["accesses"]["total"] == records)
    text = tool("run", "--host", "--board", board.stem).stdout
    check(f"{board.stem}: decode shows run's text views",
          tool("decode", str(trace)).stdout.endswith(text[text.index("\npmic "):]))

# A faulted run names every fault it was given, the board file's and each --fault, as given, and
# where each struck: the pads at their first read, which the trace shows reading all ones; a stall
# of a bus on which no byte ever moves (nothing answers its address on this board) never strikes.
faulted = document("run", "--host", "--json", "--board", "flaky-pads", "--fault", "bus-stalled@2",
                   "--trace", str(trace))
check("a faulted run names its faults as given", [
    {k: v for k, v in f.items() if k != "struck"} for f in faulted["faults"]] == [
    {"source": "board-file", "key": "faults.pad_reads_all_ones",
     "value": {"address": "0xFED0C5D8", "reads": 1}},
    {"source": "board-file", "key": "faults.pad_reads_all_ones",
     "value": {"address": "0xFED0D130", "reads": 6}},
    {"source": "board-file", "key": "faults.pad_reads_all_ones",
     "value": {"address": "0xFED0E1D8", "reads": 3}},
    {"source": "command-line", "point": "bus-stalled@2"}])
records = [line.split() for line in trace.read_text().splitlines() if not line.startswith("#")]
check("... each pad fault struck at the first read of its register, which found all ones", all(
    records[f["struck"]["access"]][2:] == ["R", "32", f["value"]["address"], "0xFFFFFFFF"]
    and not any(r[2:4] == ["R", "32"] and r[4] == f["value"]["address"]
                for r in records[:f["struck"]["access"]])
    for f in faulted["faults"][:3]))
check("... and the stall did not strike", faulted["faults"][3]["struck"] is None)
text = tool("run", "--host", "--board", "flaky-pads", "--fault", "bus-stalled@2").stdout
check("... and so does its text, before the status",
      '\nfaults    3 from the board file, 1 from --fault\n'
      '  faults.pad_reads_all_ones {"address":"0xFED0C5D8","reads":1}  struck at access ' in text
      and re.search(r"\n  --fault bus-stalled@2 +did not strike\nstatus ", text) is not None)
plain = document("run", "--host", "--json")
check("a run without faults says so", plain["faults"] == [])
check("the board's description is in the document", plain["board"]["description"] ==
      json.loads((pathlib.Path(boards_dir) / "default.json").read_text())["description"])

run = document("run", "--json")
check("the image form says which image", run["module"] == {"form": "image", "image": image})
broken = dict(run, pmic_bus={"transactions": []})
check("the schema refuses an incomplete bus", not validator.is_valid(broken))

# A run that does not return: a damaged image, an int3 over GetActivePmic's first instruction
# (its RVA, which is its file offset, from the map), reached after the GPIO pass.
damaged = work / "damaged.efi"
shutil.copy(image, damaged)
with open(image[: -len(".efi")] + ".map") as map_file:
    entry = next(int(line.split()[0], 16) for line in map_file
                 if line.split() and line.split()[-1] == "_GetActivePmic")
with open(damaged, "r+b") as file:
    file.seek(entry)
    file.write(b"\xcc")
stuck = document("run", "--json", "--image", str(damaged), status=1)
check("a run that does not return names why and the last ten accesses",
      stuck["status"]["returned"] is False and len(stuck["status"]["last_accesses"]) == 10)

# A run stopped inside selection says so in both forms, and decode of its trace agrees; both
# forms' text shows the same last ten accesses.
budget = work / "budget.json"
default = json.loads((pathlib.Path(boards_dir) / "default.json").read_text())
budget.write_text(json.dumps(dict(default, access_budget=850)))
last = []
for form in (["--host"], []):
    cut = document("run", "--json", *form, "--board", str(budget), "--trace", str(work / "cut.trace"),
                   status=1)
    reads = cut["pmic"]["identification_reads"]
    check(f"{form}: selection did not finish, its read cut short",
          cut["pmic"]["source"] == "unfinished" and cut["pmic"]["variant"] is None
          and reads[-1]["cut_short"] and not cut["board_step"])
    check(f"{form}: decode of a run stopped in selection has its views",
          views(document("decode", "--json", str(work / "cut.trace"))) == views(cut))
    text = tool("run", *form, "--board", str(budget), status=1).stdout.splitlines()
    at = text.index("last accesses:")
    last.append(text[at:at + 11])
check("both forms' text shows the last ten accesses", len(last[0]) == 11 and last[0] == last[1])

# --pads answers which accesses set a pad and from which table row.
pad = document("run", "--json", "--pads", "0x0000:93")["pads"]["detail"]
check("--pads 0x0000:93: its row and the accesses that set it",
      len(pad) == 1 and pad[0]["table_row"]["row"] == 2
      and [(a["op"], a["offset"], a["part"], a["row"]) for a in pad[0]["accesses"] if a["op"] == "W"]
      == [("W", 8, "GPIO pass: table 0x0000", 2), ("W", 0, "GPIO pass: table 0x0000", 2)])
text = tool("run", "--pads", "0x0000:93").stdout
check("--pads in the text names the row", "table   row 2 of PadTable0000: direction 0x02" in text)
# --vcd: where the waveform ends, past the run when the last write is still on the wire.
wave = document("op", "--host", "--json", "WriteRegister", "0x30", "0x85", "--vcd",
                str(work / "write.vcd"))
check("the waveform runs to the last stop", wave["waveform"] == {
    "path": str(work / "write.vcd"), "written": True, "end_ns": 211400, "run_end_ns": 153400,
    "refused": None})
check("the write's own hold ended before it left the wire",
      wave["call"]["bus"]["transactions"][0]["wire_end_ns"] == 211400
      and wave["call"]["bus"]["semaphore_holds"][0]["release_ns"] < 211400)

# Every slot call of every built-in board draws its waveform at the board's own bus clock.
targets = json.loads(tool("sweep", "--host", "--list-points", "--json", "--kinds",
                          "hob-no-end-marker").stdout)["targets"]
calls = [target for target in targets if target["run"] != "boot"]
undrawn = []
for target in calls:
    done = subprocess.run([boardsim, *target["command"].split()[1:], "--json", "--vcd",
                           str(work / "slot.vcd")], capture_output=True, text=True)
    if done.returncode not in (0, 1) or not json.loads(done.stdout)["waveform"]["written"]:
        undrawn.append(target["command"])
check(f"each of the {len(calls)} slot calls draws its waveform {undrawn[:1]}",
      calls and not undrawn)

# op: a call, a null pointer, a write, a slot not offered, the list, the image form.
op = document("op", "--host", "--json", "--pads", "GetIdentity", "--trace", str(work / "op.trace"))
check("op: --pads before the slot leaves it the slot; no pad accessed", op["pads"]["detail"] == [])
check("op: selection and the call cover the run", parts_cover(op, op["time_ns"])
      and op["timeline"]["phases"][-1]["name"] == "slot call")
check("op stores Id and Revision",
      [(s["name"], s["value"]) for s in op["call"]["stored"]] == [("Id", 0x41), ("Revision", 0)])
document("op", "--host", "--json", "GetStatus1", "null")
document("op", "--host", "--json", "--board", "variant6", "WriteRegister", "0x27", "0x59")
absent = document("op", "--host", "--json", "GetFlag2", status=1)
check("a slot not offered says so", absent["call"]["offered"] is False)
check("op --list has 25 slots", len(document("op", "--json", "--list")["slots"]) == 25)
voltage = document("op", "--json", "--board", "variant1-id1f-rb1", "ReadVoltage")
check("ReadVoltage says its unit", voltage["call"]["returned"]["unit"] == "mV"
      and voltage["call"]["returned"]["text"] == f"{voltage['call']['returned']['value']} mV")

# decode of op's trace: the bus alone, no board step; from standard input too.
decoded = document("decode", "--json", str(work / "op.trace"))
check("decode of an op trace has no board step", "board_step" not in decoded)
check("decode reads standard input",
      json.loads(tool("decode", "--json", "-", stdin=(work / "op.trace").read_text()).stdout)
      == dict(decoded, trace=dict(decoded["trace"], path="standard input")))

# Bad input stays one line on standard error with exit 2, --json or not.
for args, message in [
    (["run", "--json", "--board", "nowhere"], "boardsim: no board named 'nowhere'"),
    (["op", "--json", "WriteRegister", "0x30"], "boardsim: WriteRegister takes 2 arguments"),
    (["decode", "--json", str(work / "absent.trace")], "absent.trace: cannot open the trace"),
    (["run", "--pads", "0x3000:1"], "boardsim: --pads: '0x3000:1': the community is 0x0000"),
    (["run", "--html", boards_dir + "/default.json"], "the page would overwrite the board"),
    (["sweep", "--board", "default", "--html", boards_dir + "/default.json"],
     "the page would overwrite the board"),
    (["decode", str(work / "op.trace"), "--html", str(work / "op.trace")],
     "the page would overwrite the trace"),
]:
    done = tool(*args, status=2)
    check(f"{' '.join(args)}: one line, nothing on standard output",
          done.stdout == "" and done.stderr.count("\n") == 1 and message in done.stderr)
malformed = work / "malformed.trace"
malformed.write_text("# boardtrace 1\n0 0 R 8 0xE00F8040 0x00\n1 200 W 16 0xE00F8040 0x402\n")
done = tool("decode", str(malformed), status=2)
check("a malformed trace line is named by its number",
      done.stderr == f"boardsim: {malformed}: line 3: not a trace record: "
                     "'1 200 W 16 0xE00F8040 0x402'\n")

shutil.rmtree(work)
finish()
