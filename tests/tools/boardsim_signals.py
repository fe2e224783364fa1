#!/usr/bin/env python3
"""A signal to boardsim ends its run too: in the image form the run is a child process, which must
not outlive the tool, rename its temporary over the trace later, or print into the tool's output.
Each row starts a run under a debugger that this script plays (so that the run is surely under way
in its child), signals the tool, and requires that the trace named is untouched, that no temporary
is left, and that the run's connection closes.
usage: boardsim_signals.py BOARDSIM"""
import pathlib
import re
import signal
import socket
import subprocess
import sys
import tempfile
from checks import check, finish

boardsim = sys.argv[1]


def debugger(port):
    """Connects as GDB and waits for the answer to '?', which only the running child gives."""
    client = socket.create_connection(("127.0.0.1", port), timeout=60)
    client.sendall(b"+$?#3f")
    answer = b""
    while b"#" not in answer:
        answer += client.recv(64)
    return client


def closed(client):
    """Whether the other end closes the connection (within a minute: a child that outlives its
    parent never does)."""
    try:
        while client.recv(64):
            pass
        return True
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


ROWS = [  # what, signal, command
    ("run, SIGTERM", signal.SIGTERM, ["run"]),
    ("run, SIGINT", signal.SIGINT, ["run"]),
    ("run, SIGHUP", signal.SIGHUP, ["run"]),
    ("op, SIGTERM", signal.SIGTERM, ["op", "GetIdentity"]),
    # SIGKILL cannot be caught: the child dies with its parent all the same (a temporary may be
    # left, never renamed into place).
    ("run, SIGKILL", signal.SIGKILL, ["run"]),
]

with tempfile.TemporaryDirectory() as work:
    for what, number, command in ROWS:
        trace = pathlib.Path(work) / "user.trace"
        trace.write_text("a user's file\n")
        tool = subprocess.Popen([boardsim, *command, "--gdb", ":0", "--trace", str(trace)],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        port = None
        for line in tool.stderr:
            found = re.match(r"boardsim: waiting for GDB on 127\.0\.0\.1:(\d+)$", line.strip())
            if found:
                port = int(found.group(1))
                break
        check(f"{what}: the run waits for GDB", port is not None)
        client = debugger(port)
        tool.send_signal(number)
        try:
            status = tool.wait(timeout=60)
        except subprocess.TimeoutExpired:
            tool.kill()
            status = tool.wait()
        check(f"{what}: boardsim ends by the signal ({status})", status == -number)
        check(f"{what}: the run is gone with it", closed(client))
        client.close()
        check(f"{what}: the trace named is untouched", trace.read_text() == "a user's file\n")
        left = [p.name for p in pathlib.Path(work).iterdir()
                if p.name != "user.trace" and number != signal.SIGKILL]
        check(f"{what}: no temporary is left {left}", not left)
        for p in pathlib.Path(work).iterdir():
            p.unlink()

finish()
