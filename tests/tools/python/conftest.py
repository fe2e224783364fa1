"""What the Python module's tests share: the tool they compare against (BOARDSIM), and the
boards folder."""
import os
import pathlib
import subprocess

import pytest


@pytest.fixture(scope="session")
def tool():
    """Runs boardsim with the given arguments; its exit status, standard output and error."""
    path = os.environ["BOARDSIM"]

    def run(*args):
        done = subprocess.run([path, *args], capture_output=True, text=True, check=False)
        return done.returncode, done.stdout, done.stderr

    return run


@pytest.fixture(scope="session")
def boards_dir():
    return pathlib.Path(os.environ["BOARDSIM_BOARDS"])
