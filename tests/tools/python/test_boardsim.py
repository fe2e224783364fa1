"""boardsim from Python against the command line it shares its code with: the same summaries,
documents and error lines, both forms, faults, slot calls, the expectation check, threads."""
import concurrent.futures
import json
import pathlib
import re

import pytest

import boardsim

FORMS = ["image", "host"]


@pytest.mark.parametrize("form", FORMS)
def test_boot_is_the_command_lines(form, tool):
    run = boardsim.run(form=form)
    flags = ["--host"] if form == "host" else []
    assert (run.status, run.accesses, run.time_ns) == ("EFI_SUCCESS", 101811, 100398700)
    assert str(run) == tool("run", *flags)[1]
    assert run.to_json() == tool("run", "--json", *flags)[1]
    assert len(run.trace) == run.accesses
    assert sum(1 for _ in run.trace) == run.accesses
    assert str(run.trace[-1]) == "101810 100398600 W 32 0xFED0E218 0x00000000"


# Each fault point, the transactions the boot made under it (address, register, value, aborted)
# and where the fault struck.
FAULTED = [
    ("byte-refused@2",
     [(0x34, 3, None, True), (0x5E, 0, None, True), (0x6E, 0, None, True)], 1247),
    ("byte-refused@6",
     [(0x34, 3, 0x41, False), (0x34, 0x30, 0x05, False), (0x34, 0x30, 0x85, False)], 101811),
    ("device-stops-acknowledging:0x34@1",
     [(0x34, 3, None, True), (0x5E, 0, None, True), (0x6E, 0, None, True)], 909),
]


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("point,transactions,access", FAULTED)
def test_faulted_boot(form, point, transactions, access, tool):
    run = boardsim.run(faults=[point], form=form)
    assert [(t.address, t.register, t.value, t.aborted) for t in run.transactions] == transactions
    assert [(f.fault, f.struck, f.access) for f in run.faults] == [(point, True, access)]
    assert run.faults[0].where in str(run)
    assert str(run) == tool("run", "--fault", point, *(["--host"] if form == "host" else []))[1]


# A slot, its arguments, what it returned and the status name of a slot that returns one.
CALLS = [
    ("variant6", "ReadVoltage", (), 2399, None),
    ("default", "ReadRegister", (0x30,), 0x05, None),
    ("default", "WriteRegister", (0x30, 0x85), 0, "EFI_SUCCESS"),
]


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("board,slot,args,returned,status", CALLS)
def test_slot_call(form, board, slot, args, returned, status, tool):
    call = boardsim.op(board, slot, *args, form=form)
    assert (call.returned, call.status) == (returned, status)
    flags = ["--host"] if form == "host" else []
    words = [str(a) for a in args]
    assert str(call) == tool("op", "--board", board, *flags, slot, *words)[1]
    assert call.to_json() == tool("op", "--json", "--board", board, *flags, slot, *words)[1]


# What a call stored through its pointers, and whether the descriptor offered the slot at all.
STORED = [
    ("GetIdentity", (), [0x41, 0], "EFI_SUCCESS", True),
    ("GetStatus1", (None,), [], "EFI_INVALID_PARAMETER", True),
    ("GetFlag2", (), [], None, False),
]


@pytest.mark.parametrize("slot,args,stored,status,called", STORED)
def test_slot_stores(slot, args, stored, status, called):
    call = boardsim.op("default", slot, *args, form="host")
    assert (call.stored, call.status, call.called, call.variant) == (stored, status, called, 5)


def test_board_file_faults():
    run = boardsim.run("flaky-pads", form="host")
    assert [(f.fault, f.from_board, f.access) for f in run.faults] == \
        [("faults.pad_reads_all_ones", True, 154), ("faults.pad_reads_all_ones", True, 36),
         ("faults.pad_reads_all_ones", True, 559)]
    assert run.faults[0].value == '{"address":"0xFED0C5D8","reads":1}'


# Bad input from Python and the same on the command line: the same line, class and exit status.
ERRORS = [
    (boardsim.BoardError, dict(board="no-such-board"), ["run", "--board", "no-such-board"]),
    (boardsim.FaultError, dict(faults=["bogus@1"]), ["run", "--fault", "bogus@1"]),
    (boardsim.FaultError, dict(faults="device-stops-acknowledging:0x99@1"),
     ["run", "--fault", "device-stops-acknowledging:0x99@1"]),
    (boardsim.ImageError, dict(image="/no/such.efi"), ["run", "--image", "/no/such.efi"]),
]


@pytest.mark.parametrize("error,arguments,line", ERRORS)
def test_errors_are_the_command_lines(error, arguments, line, tool):
    status, _, stderr = tool(*line)
    with pytest.raises(error) as raised:
        boardsim.run(**arguments)
    assert (str(raised.value) + "\n", raised.value.exit_status) == (stderr, status)


# Bad input that only Python can give, each in one line naming the argument.
PYTHON_ERRORS = [
    (boardsim.UsageError, lambda: boardsim.run(form="emulated"),
     "boardsim: form: 'emulated' is neither image nor host"),
    (boardsim.UsageError, lambda: boardsim.run(form="host", image="x.efi"),
     "boardsim: image: names an image, but the form is host"),
    (boardsim.UsageError, lambda: boardsim.run(faults=[3]),
     "boardsim: faults: each item a string, not int"),
    (boardsim.PadError, lambda: boardsim.run(pads=["0x0000:999"]),
     "boardsim: pads: '0x0000:999': a community's pads are 0 to 255"),
    (boardsim.SlotError, lambda: boardsim.op("default", "ReadRegister"),
     "boardsim: ReadRegister takes 1 argument, got 0: UINT8 ReadRegister(UINT8 Register)"),
    (boardsim.SlotError, lambda: boardsim.op("default", "ReadRegister", 1.5),
     "boardsim: slot arguments are numbers, or None for a null pointer, not float"),
    (boardsim.SweepError, lambda: boardsim.sweep(seed=3),
     "boardsim: seed: chooses which points a sample draws; give sample too"),
]


@pytest.mark.parametrize("error,call,message", PYTHON_ERRORS)
def test_python_errors(error, call, message):
    with pytest.raises(error) as raised:
        call()
    assert (str(raised.value), raised.value.exit_status) == (message, 2)


def test_pads(tool):
    run = boardsim.run(form="host", pads=["0x0000:93", "0x1000:1"])
    assert list(run.pads) == ["0x0000:93", "0x1000:1"]
    pad = run.pads["0x0000:093"]
    assert (pad.before.config, pad.after.config, pad.after.value) == (0x20038000, 0x26038500, 2)
    assert (pad.after.fields.level, pad.after.fields.pull, pad.row.row, pad.table) == \
        ("low", 1, 2, "PadTable0000")
    assert [a.part for a in pad.accesses][-1] == "board step"
    assert ("0x0000:93" in run.pads, "0x0000:94" in run.pads, "0x0000:999" in run.pads) == \
        (True, False, False)
    untouched = run.pads["0x0000:94"]
    assert (untouched.accesses, untouched.row, untouched.changed) == ([], None, False)
    assert run.pads.get("0x1000:1").changed
    assert len(boardsim.run(form="host").pads) == 174
    # "changed" first, as --pads takes it: of the pads named (none: those accessed), the changed.
    changed = boardsim.run(form="host", pads="changed")
    assert (len(changed.pads), str(changed)) == \
        (172, tool("run", "--host", "--pads", "changed")[1])
    named = boardsim.run(form="host", pads=["changed", "0x0000:93", "0x0000:94"])
    assert (list(named.pads), named.to_json()) == \
        (["0x0000:93"], tool("run", "--host", "--json", "--pads", "changed", "0x0000:93",
                             "0x0000:94")[1])


def test_trace_of_a_replaced_image(tmp_path):
    """run.trace makes the run again; an image replaced meanwhile goes otherwise and is refused."""
    built = pathlib.Path(boardsim.where()[1])
    image = tmp_path / "copy.efi"
    image.write_bytes(built.read_bytes())
    mapped = built.with_suffix(".map").read_text()
    (tmp_path / "copy.map").write_text(mapped)
    run = boardsim.run(image=image)
    # The mode of the first row of the first pad table, a byte the boot writes into a pad: the
    # image's sections sit at their file offsets, so the map's address is the file's.
    table = int(re.search(r"^([0-9a-f]{8}) .*PadTable0000$", mapped, re.M).group(1), 16)
    patched = bytearray(image.read_bytes())
    patched[table + 8] ^= 1
    image.write_bytes(bytes(patched))
    with pytest.raises(boardsim.Error) as raised:
        run.trace
    assert (str(raised.value), raised.value.exit_status) == (
        f"boardsim: trace: the run made again for its trace went otherwise ({run.accesses} "
        f"accesses against {run.accesses}): was the image replaced meanwhile?", 1)


def test_boards():
    names = [b.name for b in boardsim.boards()]
    assert names[:2] == ["acpi-decoded", "default"] and len(names) == 13
    board = boardsim.Board.load("variant6")
    assert boardsim.op(board, "ReadVoltage", form="host").returned == 2399
    assert boardsim.run(pathlib.Path(board.path), form="host").board == "variant6"


def test_expectations(boards_dir, tmp_path):
    reference = boards_dir.parent / "examples/reference-board/expect.json"
    run = boardsim.run(form="host")
    assert [v.state for v in boardsim.expect(run, reference)] == ["met"] * 13 + ["not checked"]
    wrong = json.loads(reference.read_text())
    wrong["pads"]["0x0000:93"]["level"] = "high"
    wrong["pmic_registers"] = {"0x34:0x30": "0x05"}
    path = tmp_path / "wrong.json"
    path.write_text(json.dumps(wrong))
    with pytest.raises(boardsim.ExpectationFailed) as failed:
        boardsim.expect(run, path)
    assert failed.value.lines == [
        "pad 0x0000:93 level: expected high, got low",
        "pmic 0x34 reg 0x30: expected written 0x05, got written 0x85",
        "not checked: stack_used_bytes (not seen in the host build)"]


# Boots of several boards on a pool of threads give what the same boots give one after another.
@pytest.mark.parametrize("form", FORMS)
def test_threads(form):
    boards = ["default", "variant6", "no-pmic", "flaky-pads"] * 2

    def boot(board):
        run = boardsim.run(board, form=form)
        return run.status, run.accesses, run.time_ns, str(run), len(run.trace)

    alone = [boot(board) for board in boards]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        assert list(pool.map(boot, boards)) == alone


def test_fixture(boardsim_run, boardsim_op):
    assert boardsim_run().status == "EFI_SUCCESS"
    assert boardsim_op("ReadRegister", 0, board="variant6", form="host").returned == 0xC8


# A sampled sweep from Python and the same on the command line: the same points and verdicts.
SWEEPS = [
    ("image", {}, []),
    ("host", {}, []),
    ("host", dict(seed=7, shard="2/3"), ["--seed", "7", "--shard", "2/3"]),
    ("host", dict(boots_only=True, boards=["variant6", "default"]),
     ["--boots-only", "--board", "default"]),
]


@pytest.mark.parametrize("form,arguments,flags", SWEEPS)
def test_sweep(form, arguments, flags, tool):
    kinds = ["byte-refused", "timer-frozen", "semaphore-never-granted"]
    arguments = dict(boards="variant6", kinds=kinds, sample=12, form=form, jobs=2) | arguments
    sweep = boardsim.sweep(**arguments)
    flags += ["--host"] if form == "host" else []
    document = json.loads(tool("sweep", "--board", "variant6", "--kinds", ",".join(kinds),
                               "--sample", "12", "--jobs", "2", "--json", *flags)[1])
    mine = json.loads(sweep.to_json())
    for seconds in (mine, document):
        del seconds["seconds"]
    assert mine == document
    assert (sweep.passed, sweep.failed, sweep.no_effect) == \
        (document["passed"], document["failed"], document["no_effect"])
    assert sum(k["points"] for k in sweep.kinds.values()) == len(document["points"])
    assert {kind: k["listed"] for kind, k in sweep.kinds.items()} == {k["kind"]: sum(
        c["listed"] for t in document["targets"] for c in t["by_kind"] if c["kind"] == k["kind"])
        for k in document["kinds"]}
    assert [f.reproduce for f in sweep.failures] == [f["reproduce"] for f in document["failures"]]


SWEEP_ERRORS = [
    (dict(kinds=["bogus"]), ["--kinds", "bogus"]),
    (dict(ops=["Nope"]), ["--op", "Nope"]),
    (dict(boards=["no-such-board"]), ["--board", "no-such-board"]),
    (dict(shard="3/2"), ["--shard", "3/2"]),
]


@pytest.mark.parametrize("arguments,line", SWEEP_ERRORS)
def test_sweep_errors(arguments, line, tool):
    status, _, stderr = tool("sweep", "--host", *line)
    with pytest.raises(boardsim.Error) as raised:
        boardsim.sweep(form="host", **arguments)
    assert (str(raised.value) + "\n", raised.value.exit_status) == (stderr, status)
