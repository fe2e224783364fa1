"""GDB's side of the remote protocol, as far as the tool tests play it on the wire: a packet's
frame, the next reply, and boardsim started under --gdb with a client connected."""
import re
import socket
import subprocess


def frame(payload):
    return b"$" + payload + b"#" + b"%02x" % (sum(payload) & 0xFF)


# What a client received past the packet last returned (a console line and a stop reply can come
# in one read).
_pending = {}


def reply(client):
    """The payload of the next packet from the server, acknowledgements skipped."""
    data = _pending.pop(client.fileno(), b"")
    while not re.search(rb"\$[^#]*#..", data):
        chunk = client.recv(4096)
        if not chunk:
            return None
        data += chunk
    found = re.search(rb"\$([^#]*)#..", data)
    _pending[client.fileno()] = data[found.end():]
    return found.group(1)


def stop_reply(client):
    """The next reply that is not console output ('O' and hex text, as GDB prints it)."""
    while True:
        answer = reply(client)
        if answer is None or not re.fullmatch(rb"O([0-9a-f]{2})+", answer):
            return answer


def start(boardsim, *args):
    """boardsim ARGS --gdb :0, and a client connected to it (None when it never listened)."""
    tool = subprocess.Popen([boardsim, *args, "--gdb", ":0"], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    for line in tool.stderr:
        found = re.match(r"boardsim: waiting for GDB on 127\.0\.0\.1:(\d+)$", line.strip())
        if found:
            client = socket.create_connection(("127.0.0.1", int(found.group(1))), timeout=60)
            return tool, client, int(found.group(1))
    return tool, None, None
