#!/usr/bin/env python3
"""monitor goto, whatever number it is given: a place past the end of the call is answered as past
the end and leaves the run where it stands, however close to 2^64 the number is; a number no
64-bit count holds is not a place; a place inside the call is reached. This script plays GDB on the
wire.
usage: boardsim_gdb_goto.py BOARDSIM"""
import sys
import checks
from checks import check
from gdb_wire import frame, reply, start

boardsim = sys.argv[1]
PAST_END = "this call ends at access "
TOP = 2**64 - 1

# command, how its answer begins
ROWS = [
    ("goto access 99999999", PAST_END),
    (f"goto access {TOP}", PAST_END),
    (f"goto access {TOP - 1}", PAST_END),
    (f"goto time {TOP}", PAST_END),
    (f"goto time {TOP - 1}", PAST_END),
    (f"goto access {TOP + 1}", "goto takes 'access N'"),
    ("goto access 5", "at instruction "),
]


def send(client, payload):
    client.sendall(b"+" + frame(payload))
    return reply(client)


tool, client, _ = start(boardsim, "run")
check("the tool listens for GDB", client is not None)
if client is not None:
    send(client, b"?")
    send(client, b"s")  # one instruction in: the run stands somewhere of its own
    for command, answer in ROWS:
        before = send(client, b"g")
        said = bytes.fromhex(send(client, b"qRcmd," + command.encode().hex().encode()).decode()).decode()
        after = send(client, b"g")
        check(f"{command}: {said.strip()!r} begins {answer!r}", said.startswith(answer))
        if answer == PAST_END:
            check(f"{command}: the run stays where it stood", before == after)
    send(client, b"D")
    client.close()
try:
    check("the run then ends as it would", tool.wait(timeout=120) == 0)
except Exception:  # pylint: disable=broad-except
    tool.kill()
    check("the run then ends as it would", False)
checks.finish()
