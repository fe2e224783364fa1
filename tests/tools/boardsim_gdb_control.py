#!/usr/bin/env python3
"""Debugger control is exact: boardsim --gdb refuses bad input before it listens, a Ctrl-C sent in
the same write as the packet that resumes stops the run as one sent later does, a second client is
closed at once, a packet that asks too much gets an error reply while the run goes on, and going
back restores every register. This script plays GDB on the wire.
usage: boardsim_gdb_control.py BOARDSIM IMAGE"""
import os
import pathlib
import shutil
import socket
import subprocess
import sys
import tempfile
import checks
from checks import check
from gdb_wire import frame, reply, start

boardsim, image = sys.argv[1:3]


def finish(tool):
    try:
        return tool.wait(timeout=120)
    except subprocess.TimeoutExpired:
        tool.kill()
        return tool.wait()


with tempfile.TemporaryDirectory() as work:
    garbage = pathlib.Path(work) / "garbage.efi"
    garbage.write_bytes(b"not an image at all\n")
    unmapped = pathlib.Path(work) / "copy.efi"
    shutil.copy(image, unmapped)

    # Bad input is refused before anything listens: nothing waits for a debugger.
    for what, args, message in [
            ("an image that is none", ["run", "--image", str(garbage)], "garbage.efi: not a PE32"),
            ("a map that is missing", ["op", "--image", str(unmapped), "GetIdentity"],
             "copy.map: linker map: cannot open"),
            ("a map named that is missing",
             ["op", "--map", str(pathlib.Path(work) / "missing.map"), "GetIdentity"],
             "missing.map: linker map: cannot open")]:
        try:
            done = subprocess.run([boardsim, *args, "--gdb", ":0"], capture_output=True,
                                  text=True, timeout=60)
            lines = done.stderr.splitlines()
            check(f"{what}: exit 2 at once, one line {lines}",
                  done.returncode == 2 and len(lines) == 1 and message in lines[0])
        except subprocess.TimeoutExpired:
            check(f"{what}: refused at once, not waiting for a debugger", False)

    # A Ctrl-C in the same write as 'c' stops the run (SIGINT's stop reply), as a late one does.
    tool, client, _ = start(boardsim, "run")
    client.sendall(b"+" + frame(b"c") + b"\x03")
    stop = reply(client)
    check(f"Ctrl-C with 'c': the run stops ({stop})", stop == b"S02")
    client.sendall(b"+" + frame(b"D"))
    reply(client)
    client.close()
    check("Ctrl-C with 'c': the run then ends as it would", finish(tool) == 0)

    # One debugger at a time: a second client is closed at once, the first goes on.
    tool, client, port = start(boardsim, "run")
    try:
        second = socket.create_connection(("127.0.0.1", port), timeout=30)
        check("a second client: closed at once", second.recv(64) == b"")
        second.close()
    except (socket.timeout, ConnectionError):
        check("a second client: closed at once", False)
    client.sendall(b"+" + frame(b"?"))
    check("a second client: the first is still served", reply(client) == b"S05")

    # Lengths and register numbers from the wire are checked: an error reply, and the run goes on.
    for packet in [b"Z2,600000,ffffffffffffffff", b"Z3,600000,100000000", b"p100000008"]:
        client.sendall(b"+" + frame(packet))
        answer = reply(client)
        check(f"{packet.decode()}: an error reply ({answer})",
              answer is not None and answer.startswith(b"E"))
    client.sendall(b"+" + frame(b"D"))
    reply(client)
    client.close()
    check("after the refused packets the run ends as it would", finish(tool) == 0)

    # Stepping does not change what the session keeps: a step, or a step and a step back, before
    # running to the end leaves the server's peak memory where a plain run to the end leaves it
    # (the emulator once flushed its whole code buffer after each counted run: a gigabyte more).
    peaks = {}
    for what, packets in [("continue", [b"c"]), ("stepi, continue", [b"s", b"c"]),
                          ("stepi, reverse-stepi, continue", [b"s", b"bs", b"c"])]:
        tool, client, _ = start(boardsim, "run")
        for packet in packets:
            client.sendall(b"+" + frame(packet))
            answer = reply(client)
        client.close()
        _, status, usage = os.wait4(tool.pid, 0)
        check(f"{what}: the run ends as it would ({answer})",
              answer == b"W00" and os.waitstatus_to_exitcode(status) == 0)
        peaks[what] = usage.ru_maxrss
    check(f"stepping keeps the session's peak memory (KiB: {peaks})",
          max(peaks.values()) < 1.5 * peaks["continue"])

    # Going back restores every register, EFLAGS included: each reverse-stepi reads what the same
    # instruction read going forward. The emulator keeps the flags lazily, and a checkpoint restored
    # and run one instruction once read them as 0 (at small --checkpoint-every, where a restore is
    # often followed by a short run).
    for every in ["2", "5", "1000"]:
        tool, client, _ = start(boardsim, "run", "--checkpoint-every", every)
        client.sendall(b"+" + frame(b"?"))
        reply(client)
        forward = []
        for _ in range(600):
            client.sendall(b"+" + frame(b"g"))
            forward.append(reply(client))
            client.sendall(b"+" + frame(b"s"))
            reply(client)
        differ = []
        for position in reversed(range(len(forward))):
            client.sendall(b"+" + frame(b"bs"))
            reply(client)
            client.sendall(b"+" + frame(b"g"))
            if reply(client) != forward[position]:
                differ.append(position)
        client.sendall(b"+" + frame(b"k"))
        client.close()
        finish(tool)
        check(f"--checkpoint-every {every}: 600 instructions back, each with the registers it had"
              f" going forward (differing at {differ[:5]})", not differ)

checks.finish()
