#!/usr/bin/env bash
# Goes back under GDB in batch mode, as a user would, and requires the run to end as the one made
# without a debugger: the same trace and the same summary, whatever went back and forth.
# usage: boardsim_gdb_reverse.sh BOARDSIM GDB
set -u
boardsim=$1
gdb=$2
# shellcheck source=tests/tools/gdb_session.sh
. "$(dirname "$0")/gdb_session.sh"

# block NAME N: the Nth register listing GDB printed (each ends with eflags).
block() {
  awk -v n="$2" '/^eip /{k++} k==n{print} k==n && /^eflags/{exit}' "$work/$1.gdb"
}

registers='info registers eip esp eax ecx edx ebx ebp esi edi eflags'
# A boot of the default board, stopped at the board step's write of PMIC register 0x30: two
# instructions on and back, two further back and on again; back to an earlier breakpoint, a
# watched stack variable written going forward and then going back; a goto and back.
debug run "
break I2cWriteRegister if Register == 0x30
continue
$registers
stepi
stepi
reverse-stepi
reverse-stepi
$registers
reverse-stepi
reverse-stepi
stepi
stepi
$registers
monitor checkpoints
break PmicReadRegister
reverse-continue
next
watch -location value
continue
reverse-continue
python
here = gdb.execute('monitor trace 1', to_string=True)
gdb.execute('monitor goto access 5')
print('at access 5:', gdb.execute('monitor trace 1', to_string=True).split()[0])
gdb.execute('monitor goto access ' + here.split()[0])
print('back again:', gdb.execute('monitor trace 1', to_string=True) == here)
end
monitor goto access 99999999
monitor goto time 99999999999
monitor goto access
monitor goto somewhere 5
delete
continue" run
check "run: two instructions back from a forward stop, the registers of that stop" \
  test -n "$(block run 1)" -a "$(block run 1)" = "$(block run 2)"
check "run: two back and two on, the same registers again" test "$(block run 1)" = "$(block run 3)"
expect run "Breakpoint 1, I2cWriteRegister \(Address=52 '4', Register=48 '0'"
expect run '^[0-9]+ checkpoints, one every 1000 accesses, [0-9.]+ MiB of at most 256.0 MiB'
expect run "Breakpoint 2, PmicReadRegister \(Device=52 '4', Register=3 "
expect run "Old value = 65 'A'"
expect run "New value = 0 '.000'"
expect run '^I2cReceiveByte \(.*I2cTransfer\.cpp:75'
expect run '^at access 5: 5$'
expect run '^back again: True$'
expect run '^this call ends at access [0-9]+, [0-9]+ ns, before access 99999999; the run stays'
expect run '^this call ends at .* before time 99999999999; the run stays where it was'
check "run: a goto without its place says what it takes" \
  test "$(grep -c "^goto takes 'access N'" "$work/run.gdb")" -eq 2
expect run 'exited normally'

# A slot call: the run starts with GetActivePmic, and the slot's call cannot go back into it.
debug op "
break I2cWriteRegister
continue
reverse-continue
monitor goto access 0
monitor goto access -1
reverse-stepi
delete
continue" op --board variant1-id00 WriteRegister 0x30 0x85
expect op 'No more reverse-execution history'
expect op '^\(anonymous namespace\)::WriteRegister \(Register=48 .*Variant1\.cpp:73'
expect op '^going back ends at access [1-9][0-9]*, where this call began'
expect op "^goto takes 'access N'"
check "op: the start of the call, twice" \
  test "$(grep -c 'No more reverse-execution history' "$work/op.gdb")" -eq 2
expect op 'exited normally'

# No checkpoints kept: going back is refused with one line, and the run goes on.
with="--checkpoint-memory 0"
debug none "
reverse-stepi
monitor goto access 5
monitor checkpoints
continue" run
expect none '^boardsim: no checkpoints are kept \(--checkpoint-memory 0\), so the run cannot go back'
expect none '^no checkpoints are kept \(--checkpoint-memory 0\): goto cannot go back or on'
expect none 'exited normally'

# A checkpoint at every access in 1 MiB: the oldest let go, said once, and going back still
# arrives (from the start of the call); then memory written from GDB.
with="--checkpoint-every 1 --checkpoint-memory 1"
debug bound "
break I2cWriteRegister if Register == 0x30
continue
$registers
stepi
reverse-stepi
$registers
monitor checkpoints
set var *(unsigned char *)(\$esp - 512) = *(unsigned char *)(\$esp - 512)
reverse-stepi
delete
continue" run
check "bound: said once" \
  test "$(grep -c 'the checkpoints reached their bound of 1.0 MiB' "$work/bound.gdb")" -eq 1
check "bound: back where the breakpoint stopped" test "$(block bound 1)" = "$(block bound 2)"
expect bound 'MiB of at most 1.0 MiB \(the oldest let go\)'
# Memory written from GDB (the byte it holds): the run before did not lead here, so going back
# stops here.
expect bound 'No more reverse-execution history'

"$boardsim" run --checkpoint-every 5 >/dev/null 2>"$work/alone.err"
check "--checkpoint-every without --gdb: exit status 2" test $? -eq 2

finish
