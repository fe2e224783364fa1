#!/usr/bin/env python3
"""A long way back or on under GDB stays under the user's hand: on a call whose bus semaphore is
never granted (minutes of emulation to its end), a Ctrl-C stops a `monitor goto` past the end and
a reverse-continue to the start within a moment, the run where it stood; and meanwhile a second
client is closed at once. This script plays GDB on the wire.
usage: boardsim_gdb_interrupt.py BOARDSIM"""
import socket
import sys
import time
import checks
from checks import check
from gdb_wire import frame, reply, start, stop_reply

boardsim = sys.argv[1]
SLOT_CALL_NS = 800_000_000
PROMPT = 3.0  # seconds: a Ctrl-C is answered within this, where the whole way takes far longer


def send(client, payload):
    client.sendall(b"+" + frame(payload))
    return reply(client)


def monitor(command):
    return b"qRcmd," + command.encode().hex().encode()


# what, how long the run goes on first, the packet that starts the long way, how its answer begins
ROWS = [
    ("goto past the end", 0.3, monitor("goto access 1000000000000"), b"interrupted at access "),
    ("reverse-continue to the start", 4, b"bc", b"S02"),
]

# A slot call that polls a converter that never finishes, each poll waiting out the semaphore's
# time-out: minutes of emulation to its end (196.8 s of virtual time).
tool, client, port = start(boardsim, "op", "--board", "variant6", "--fault",
                           "semaphore-never-granted", "--fault", "conversion-never-ends:0x5E",
                           "ReadVoltage")
check("the tool listens for GDB", client is not None)
if client is not None:
    send(client, b"?")
    # Into the slot call (GetActivePmic, the call before it, ends at 704 ms): its end is minutes
    # away.
    virtual_ns = 0
    while virtual_ns < SLOT_CALL_NS:
        client.sendall(b"+" + frame(b"c"))
        time.sleep(0.5)
        client.sendall(b"\x03")
        check("the run stops at a Ctrl-C", stop_reply(client) == b"S02")
        said = bytes.fromhex(send(client, monitor("time")).decode())
        virtual_ns = int(said.split()[0])
    for what, first, packet, answer in ROWS:
        client.sendall(b"+" + frame(b"c"))  # some way on, stopped by a Ctrl-C
        time.sleep(first)
        client.sendall(b"\x03")
        check(f"{what}: the call stops at a Ctrl-C first", stop_reply(client) == b"S02")
        before = send(client, b"g")
        client.sendall(b"+" + frame(packet))
        time.sleep(0.2)
        try:
            second = socket.create_connection(("127.0.0.1", port), timeout=PROMPT)
            second.settimeout(PROMPT)
            check(f"{what}: a second client meanwhile is closed at once", second.recv(64) == b"")
            second.close()
        except OSError as error:
            check(f"{what}: a second client meanwhile is closed at once ({error})", False)
        asked = time.monotonic()
        client.sendall(b"\x03")
        client.settimeout(PROMPT)
        try:
            said = reply(client)
        except socket.timeout:
            said = None
        client.settimeout(None)
        took = time.monotonic() - asked
        check(f"{what}: answered {took:.1f} s after the Ctrl-C", said is not None)
        if said is None:
            break
        if packet.startswith(b"qRcmd"):
            said = bytes.fromhex(said.decode())
        check(f"{what}: {said[:60]!r} begins {answer!r}", said.startswith(answer))
        check(f"{what}: the run stands where it stood", send(client, b"g") == before)
    client.sendall(b"+" + frame(b"k"))
    client.close()
tool.kill()
tool.wait()
checks.finish()
