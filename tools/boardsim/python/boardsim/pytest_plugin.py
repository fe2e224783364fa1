"""boardsim's pytest plugin (docs/python.md): fixtures that boot the module and call its slots,
and tests run once per board file of a folder (--boardsim-boards DIR). pytest loads it by itself
once boardsim is installed (its pytest11 entry point), or with -p boardsim.pytest_plugin."""
import pathlib

import pytest

import boardsim


def pytest_addoption(parser):
    group = parser.getgroup("boardsim")
    group.addoption("--boardsim-boards", metavar="DIR",
                    help="run each test that takes boardsim_board once per board file (*.json) "
                         "in DIR; without it, once on the default board")
    group.addoption("--boardsim-form", choices=("image", "host"), default="image",
                    help="the form boardsim_run and boardsim_op run unless a test names one "
                         "(default: image)")


def _board_files(config):
    folder = config.getoption("boardsim_boards")
    if folder is None:
        return ["default"]
    path = pathlib.Path(folder)
    if not path.is_dir():
        raise pytest.UsageError(f"--boardsim-boards: {folder}: not a folder")
    files = sorted(path.glob("*.json"))
    if not files:
        raise pytest.UsageError(f"--boardsim-boards: {folder}: no board files (*.json)")
    return [str(file) for file in files]


def pytest_generate_tests(metafunc):
    if "boardsim_board" not in metafunc.fixturenames:
        return
    boards = []
    for name in _board_files(metafunc.config):
        try:
            boards.append(boardsim.Board.load(name))
        except boardsim.BoardError as error:
            raise pytest.UsageError(str(error)) from None
    metafunc.parametrize("boardsim_board", boards, ids=[pathlib.Path(b.path).stem for b in boards])


def _defaults(request):
    board = (request.getfixturevalue("boardsim_board")
             if "boardsim_board" in request.fixturenames else "default")
    return board, request.config.getoption("boardsim_form")


@pytest.fixture
def boardsim_run(request):
    """boardsim.run, on the test's board (boardsim_board, or the default board) and in the form
    --boardsim-form names, unless the call names others."""
    board, form = _defaults(request)

    def run(board=board, **options):
        options.setdefault("form", form)
        return boardsim.run(board, **options)

    return run


@pytest.fixture
def boardsim_op(request):
    """boardsim.op, with the same defaults as boardsim_run: boardsim_op("ReadVoltage")."""
    board, form = _defaults(request)

    def op(slot, *args, board=board, **options):
        options.setdefault("form", form)
        return boardsim.op(board, slot, *args, **options)

    return op
