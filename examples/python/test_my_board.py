"""Our board's regression suite, run on every build of the board by boardsim's pytest plugin:

    python3 -m pytest examples/python --boardsim-boards examples/python/boards

Each test runs once per board file in the folder (boardsim_board), on the image the build made."""
import pathlib

import boardsim

HERE = pathlib.Path(__file__).parent


def test_boot_meets_our_expectations(boardsim_board, boardsim_run):
    boardsim.expect(boardsim_run(), HERE / "expect.json")


def test_register_0x30_bit7_follows_pad93(boardsim_board, boardsim_run):
    # The board step reads PMIC register 0x30 and writes it back with bit 7 set when pad 93 reads
    # low, cleared when it reads high; nothing else is written to the PMIC.
    run = boardsim_run()
    low = run.pads["0x0000:93"].after.fields.level == "low"
    read, = [t.value for t in run.transactions if t.read and t.register == 0x30]
    writes = [(t.address, t.register, t.value, t.aborted) for t in run.transactions if not t.read]
    assert writes == [(0x34, 0x30, read | 0x80 if low else read & 0x7F, False)]


def test_identification_refused(boardsim_board, boardsim_run):
    # The PMIC refuses the identification read's register byte: the module must go on to the other
    # variants' addresses, fall back when none answers, and then write no PMIC register at all,
    # since every value it would write is built on a read that failed.
    run = boardsim_run(faults=["byte-refused@2"])
    assert run.status == "EFI_SUCCESS"
    assert run.faults[0].struck
    assert [(t.address, t.aborted) for t in run.transactions] == [(0x34, True), (0x5E, True),
                                                                   (0x6E, True)]
    assert "fallback" in run.pmic


def test_identification_slot(boardsim_board, boardsim_op):
    # Other modules ask the library for the PMIC's identification register.
    assert boardsim_op("ReadRegister", 0x03).returned == 0x41
