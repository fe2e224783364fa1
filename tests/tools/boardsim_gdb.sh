#!/usr/bin/env bash
# Debugs the image with GDB in batch mode, as a user would, and requires the run to be the one
# made without a debugger: the same trace and the same summary.
# usage: boardsim_gdb.sh BOARDSIM GDB
set -u
boardsim=$1
gdb=$2
# shellcheck source=tests/tools/gdb_session.sh
. "$(dirname "$0")/gdb_session.sh"

# A boot of the default board: a stack variable watched while the PMIC's identification is read,
# then the PMIC write of the board step, stepped into.
debug run "
break PmicReadRegister
continue
next
watch -location value
continue
delete
break I2cWriteRegister
continue
monitor time
info registers eip
monitor time
step
monitor trace 5
monitor pmic
monitor nonsense
delete
continue" run
expect run 'ModuleEntry \(.*ModuleEntry\.cpp:14'
expect run 'Breakpoint 1, PmicReadRegister \(Device=52 .*, Register=3 '
expect run 'Hardware watchpoint 2: -location value'
expect run 'Old value = 0 .*'
expect run "New value = 65 'A'"
expect run "Breakpoint 3, I2cWriteRegister \(Address=52 '4', Register=48 '0', .*I2cRegisterAccess\.cpp:13"
expect run '^13[[:space:]]+const EFI_STATUS status = I2cSendByte'
expect run '^I2cSendByte \(Address=52 .*I2cTransfer\.cpp:39'
expect run 'read  0x34 reg 0x03 -> 0x41'
expect run "unknown monitor command 'nonsense'"
expect run 'exited normally'
times=$(grep -E '^[0-9]+ ns of virtual time' "$work/run.gdb" | cut -d' ' -f1 | uniq | wc -l)
check "run: virtual time stands still while stopped" test "$times" -eq 1
check "run: monitor trace 5 shows five accesses" \
  test "$(grep -cE '^[0-9]+ [0-9]+ (R|W|IN|OUT) ' "$work/run.gdb")" -eq 5

# One PMIC slot on a variant-1 pair: the register index read through a read watchpoint.
debug op "
break I2cWriteRegister
continue
step
rwatch -location *Byte
continue
monitor time
delete
continue" op --board variant1-id00 WriteRegister 0x30 0x85
expect op "Breakpoint 1, I2cWriteRegister \(Address=110 'n', Register=48 '0'"
expect op '^I2cSendByte \(Address=110 .*I2cTransfer\.cpp:39'
expect op "Hardware read watchpoint 2: -location \*Byte"
expect op "Value = 48 '0'"
expect op '^[0-9]+ ns of virtual time'
expect op 'exited normally'

# GDB given the twin as a file and no offset: the server's qOffsets places it, and a function
# breakpoint shows its source line at once, once per call. The entry's early pads are written by then: who wrote
# pad 33's configuration, and what the model holds, without an access.
LOAD=file debug nooffset "
break ProgramPadTable
continue
monitor why 0xFED0C210
monitor pad 0x0000:33
monitor why 0xFED0C000
monitor pad 0x3000:1
ignore 1 1000
continue
info breakpoints" run
expect nooffset 'Breakpoint 1, ProgramPadTable \(.*ProgramPadTable\.cpp:[0-9]+'
expect nooffset '^0xFED0C210 last written by the instruction at 0x008002[0-9A-F]{2}, access 2 at 300 ns: 2 300 W 32 0xFED0C210 0x2003CC81$'
expect nooffset '^  0xFED0C210 configuration +0x2003CC81$'
expect nooffset '^  0xFED0C218 value +0x[0-9A-F]{8} \(level [01]\)$'
expect nooffset '^0xFED0C000 not written yet$'
expect nooffset '^usage: monitor pad COMMUNITY:PAD'
# Out of line, the function's breakpoint stops once per pad table, not once per row.
expect nooffset 'breakpoint already hit 3 times'
expect nooffset 'exited normally'

# Killing ends the run with exit status 1 and says why.
timeout 300 "$boardsim" run --gdb :0 >"$work/kill.out" 2>"$work/kill.err" &
server=$!
port=$(listening "$work/kill.err")
timeout 60 "$gdb" -nx -batch -ex "target remote :$port" -ex kill >/dev/null 2>&1
wait "$server"
check "kill: exit status 1" test $? -eq 1
server=
check "kill: the summary says why" grep -q '^status    did not return: killed by GDB' "$work/kill.out"

# A port in use is bad input: one line, exit status 2.
timeout 300 "$boardsim" run --gdb :0 >/dev/null 2>"$work/busy.err" &
server=$!
port=$(listening "$work/busy.err")
"$boardsim" run --gdb ":$port" >/dev/null 2>"$work/busy2.err"
check "a port in use: exit status 2" test $? -eq 2
check "a port in use: one line" test "$(wc -l <"$work/busy2.err")" -eq 1
"$boardsim" run --gdb ':65536' >/dev/null 2>"$work/range.err"
check "a port out of range: exit status 2" test $? -eq 2
# A client that connects and vanishes leaves the run going, as a detach does.
exec 3<>"/dev/tcp/127.0.0.1/$port"
exec 3>&-
wait "$server"
check "a client that vanishes: the run ends as it would" test $? -eq 0
server=

# Bytes GDB would never send, then Ctrl-C in a long run (a semaphore never granted), then a
# detach: the run goes on as if nothing had happened.
printf '%s\n' '{"faults": {"semaphore_never_granted": true}}' >"$work/stuck.json"
"$boardsim" run --board "$work/stuck.json" --trace "$work/stuck.plain" >/dev/null
timeout 300 "$boardsim" run --board "$work/stuck.json" --gdb :0 --trace "$work/stuck.trace" \
  >/dev/null 2>"$work/stuck.err" &
server=$!
port=$(listening "$work/stuck.err")
python3 - "$port" >"$work/raw.out" <<'PY'
import socket, sys
link = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=30)
def frame(payload): return b"$" + payload + b"#%02x" % (sum(payload) & 0xFF)
def reply():
    data = b""
    while not (b"#" in data and len(data) >= data.index(b"#") + 3):
        data = (data + link.recv(4096)).lstrip(b"+")
    return data[1:data.index(b"#")].decode(errors="replace")
link.sendall(b"$?#00")  # a checksum that does not match
answers = [link.recv(1).decode()]
for payload in [b"qUnknown", b"m", b"Z0,", b"\xff\xfe", b"m10,zz"]:
    link.sendall(frame(payload))
    answers.append(reply())
link.sendall(frame(b"c"))
link.recv(1)  # the '+': the server resumes now and hears only the interrupt until the module stops
link.sendall(b"\x03")
answers.append(reply())
link.sendall(frame(b"D"))
answers.append(reply())
print(" ".join(repr(answer) for answer in answers))
PY
check "bad packets get '-', an empty reply or an error; Ctrl-C stops; D detaches" \
  test "$(cat "$work/raw.out")" = "'-' '' 'E01' 'E01' '' 'E01' 'S02' 'OK'"
wait "$server"
check "Ctrl-C and detach: the run ends as it would" test $? -eq 0
server=
check "Ctrl-C and detach: the same trace as without --gdb" \
  cmp -s "$work/stuck.plain" "$work/stuck.trace"

finish
