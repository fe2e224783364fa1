#!/usr/bin/env bash
# Runs boardsim as a user would and checks exit statuses and outputs.
set -u
boardsim=$1
image=$2 # the image the build made, which `run` uses by default
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/tools/checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

"$boardsim" run --trace - >"$work/trace" 2>"$work/summary"
check "default board runs" test $? -eq 0
check "trace starts with its header" test "$(head -n 1 "$work/trace")" = "# boardtrace 1"
check "every trace line has the record form" \
  test -z "$(tail -n +2 "$work/trace" | grep -Ev '^[0-9]+ [0-9]+ (R|W|IN|OUT) (8|16|32) 0x[0-9A-F]{8} 0x[0-9A-F]+$')"
check "first access tests the ACPI window byte" \
  test "$(sed -n 2p "$work/trace")" = "0 0 R 8 0xE00F8040 0x00"
check "summary goes to standard error beside a trace on standard output" \
  grep -q '^status    EFI_SUCCESS$' "$work/summary"

check "the default run is the image the build made" \
  grep -qx "module    image $image" "$work/summary"
"$boardsim" run --host --trace "$work/host.trace" >"$work/out"
check "--host runs the host-linked module" grep -qx 'module    host build' "$work/out"
check "host build and image make the same trace" cmp -s "$work/trace" "$work/host.trace"
cp "$image" "$work/copy.efi"
"$boardsim" run --image "$work/copy.efi" --trace "$work/copy.trace" >"$work/out"
check "--image runs the named image" grep -qx "module    image $work/copy.efi" "$work/out"
check "a copy of the image makes the same trace" cmp -s "$work/trace" "$work/copy.trace"

"$boardsim" run --board default --trace "$work/file.trace" >"$work/out"
check "trace to a file matches the one on standard output" cmp -s "$work/trace" "$work/file.trace"
check "summary on standard output without a trace there" grep -q '^status    EFI_SUCCESS$' "$work/out"

expect_error() { # description, expected exit, expected message pattern, args...
  local what=$1 status=$2 pattern=$3
  shift 3
  "$boardsim" "$@" >"$work/out" 2>"$work/err"
  local got=$?
  check "$what: exit $status" test $got -eq "$status"
  check "$what: one line naming the problem" \
    test "$(wc -l <"$work/err")" -eq 1 -a -n "$(grep -E -e "$pattern" "$work/err")"
}

expect_error "unknown board" 2 "no board named 'nowhere'" run --board nowhere
expect_error "missing file" 2 "$work/absent.json: cannot open" run --board "$work/absent.json"
printf '{\n  "name": "x",\n  "pads": [1,]\n}\n' >"$work/malformed.json"
expect_error "malformed JSON" 2 "malformed.json:3:14: unexpected '\\]'; expected" \
  run --board "$work/malformed.json"
printf '{"name": "x", "fans": 2}\n' >"$work/unknown.json"
expect_error "unknown key" 2 'unknown.json:1:15: unknown key "fans"' run --board "$work/unknown.json"
printf '{"stack_bytes": 64}\n' >"$work/small-stack.json"
"$boardsim" run --board "$work/small-stack.json" >"$work/out"
check "a board's stack too small for the module: exit 1" test $? -eq 1
check "a board's stack too small for the module: stopped at the overflow" \
  grep -q '^status    did not return: stack overflow: 32-bit access to 0x006FFFF[0-9A-F], below the 64 bytes of stack at 0x00700000-0x00700040' "$work/out"
expect_error "unknown option" 2 "unknown option '--verbose'" run --verbose
expect_error "unknown command" 2 "unknown command 'walk'" walk
expect_error "--host with --image" 2 "--host excludes --image" run --host --image "$image"

# Bad images: one line naming the file and the problem, exit status 2, whatever the damage.
patch_image() { # name, offset from the PE header, bytes (printf escapes)
  local pe
  cp "$image" "$work/$1"
  pe=$(od -An -tu4 -j60 -N4 "$image" | tr -d ' ')
  printf "$3" | dd of="$work/$1" bs=1 seek=$((pe + $2)) conv=notrunc status=none
}
printf 'not an image\n' >"$work/text.efi"
head -c 200 "$image" >"$work/short.efi"
patch_image pe32plus.efi 24 '\x0b\x02'
patch_image x64.efi 4 '\x64\x86'
expect_error "missing image" 2 "absent.efi: cannot open: No such file or directory" run --image "$work/absent.efi"
expect_error "not an image" 2 "text.efi: not a PE32 image, TE image, FFS file or firmware volume" run --image "$work/text.efi"
expect_error "truncated image" 2 "short.efi: .* runs past the end \\(200 bytes\\)" run --image "$work/short.efi"
expect_error "PE32+ image" 2 "pe32plus.efi: a PE32\\+ image" run --image "$work/pe32plus.efi"
expect_error "x64 image" 2 "x64.efi: machine 0x8664 is not i386" run --image "$work/x64.efi"
# The shipped forms beside the image: a cut FFS file and a volume with a byte of its free space
# written are refused the same way.
head -c 100 "${image%.efi}.ffs" >"$work/short.ffs"
cp "${image%.efi}-fv.bin" "$work/written.bin"
printf '\x00' | dd of="$work/written.bin" bs=1 seek=65535 conv=notrunc status=none
expect_error "truncated FFS file" 2 "short.ffs: file [0-9A-F-]{36} data .* runs past the end" \
  run --image "$work/short.ffs"
expect_error "volume free space" 2 "written.bin: volume free space from 0x[0-9A-F]+ holds data" \
  run --image "$work/written.bin"

# op: one PMIC slot, called as other modules call it, in both forms.
"$boardsim" op GetIdentity --trace "$work/op.trace" >"$work/op.out"
check "op on the default board returns" test $? -eq 0
check "op tells the selection" \
  grep -qx 'pmic      variant 5, detected: 0x34 reg 0x03 -> 0x41 accepted' "$work/op.out"
# The volume has no map of its own name: --map names the PE32's, and the call traces alike.
"$boardsim" op GetIdentity --image "${image%.efi}-fv.bin" --map "${image%.efi}.map" \
  --trace "$work/op-fv.trace" >/dev/null
check "op runs the module from the volume with the map named" cmp -s "$work/op.trace" "$work/op-fv.trace"
expect_error "op on a volume without its map" 2 "boardinit-fv.map: .*--map" \
  op GetIdentity --image "${image%.efi}-fv.bin"
check "op shows what the slot returned and stored" \
  grep -Pzq 'call      GetIdentity\(&Id, &Revision\)\nreturned  EFI_SUCCESS\nstored    Id 0x41, Revision 0x00\n' "$work/op.out"
"$boardsim" op --host GetIdentity --trace "$work/op-host.trace" >"$work/op-host.out"
check "op --host says so" grep -qx 'module    host build' "$work/op-host.out"
check "op makes the same trace in both forms" cmp -s "$work/op.trace" "$work/op-host.trace"
check "op's summary is the same in both forms but for the module and the image's stack" \
  test "$(grep -v '^module\|^stack' "$work/op.out")" = "$(grep -v '^module' "$work/op-host.out")"
check "op's image summary ends with the stack the calls used" \
  grep -qx 'stack     [1-9][0-9]* of 65280 bytes used' "$work/op.out"

"$boardsim" op GetFlag2 >"$work/out" 2>"$work/err"
check "a null slot: exit 1" test $? -eq 1
check "a null slot: one line naming slot and variant" \
  test "$(cat "$work/err")" = "GetFlag2 is not offered by variant 5"
"$boardsim" op --list --host >"$work/out"
check "op --list: exit 0" test $? -eq 0
check "op --list shows 25 slots" test "$(grep -cE '^ +[0-9]+  ' "$work/out")" -eq 25
check "op --list shows what variant 5 fills" \
  grep -qE '^ +23  UINT8 GetLevel\(VOID\) +filled$' "$work/out"
"$boardsim" --help >"$work/out"
check "boardsim --help describes op" grep -q 'boardsim op --list' "$work/out"
"$boardsim" op --help >"$work/out"
check "boardsim op --help" grep -q 'Exit status: 0 the slot returned' "$work/out"

expect_error "op argument out of range" 2 \
  "Register '0x100' is out of range \(UINT8: 0-255\): UINT8 ReadRegister\(UINT8 Register\)" \
  op ReadRegister 0x100
expect_error "op unknown slot" 2 "no slot named 'GetLevels'" op GetLevels
expect_error "op image without its map" 2 "copy.map: linker map: cannot open" \
  op --image "$work/copy.efi" GetLevel

# Hostile input: bad input is one line and exit 2; a module that does not return is exit 1.
board() { # name, JSON text
  printf '%s\n' "$2" >"$work/$1.json"
}
board huge-hobs "{\"hobs\": [$(printf '{"kind":"other","hob_type":2,"data_length":32768},%.0s' \
  $(seq 31)){\"kind\":\"other\",\"hob_type\":2,\"data_length\":32768}]}"
expect_error "a HOB list larger than the hand-off memory" 2 \
  "huge-hobs.json:1:10: the HOB list takes 1048840 bytes" run --board "$work/huge-hobs.json"
board odd-hob '{"hobs": [{"kind": "other", "hob_type": 2, "hob_length": 12}]}'
for form in --host --image; do
  expect_error "a HobLength that misaligns the next header ($form)" 2 \
    "odd-hob.json:1:11: HOB 0 has a HobLength of 12" run --board "$work/odd-hob.json" \
    $form $([ $form = --image ] && echo "$image")
done
board low-pmc '{"pmc_base": "0x70000000"}'
expect_error "a PMC window in the image runner's RAM" 2 "low-pmc.json:1:14: puts the PMC window" \
  run --board "$work/low-pmc.json"
board pci-pmc '{"pmc_base": "0xE0000000"}'
expect_error "a PMC window over the PCI configuration window" 2 \
  "pci-pmc.json:1:14: .* over the PCI configuration window" run --board "$work/pci-pmc.json"
expect_error "a directory as the board" 2 "$work: is a directory" run --board "$work"
expect_error "a device file as the board" 2 "/dev/zero: is not a regular file" run --board /dev/zero
head -c 1048577 /dev/zero | tr '\0' ' ' >"$work/large.json"
expect_error "a board file over its size limit" 2 "large.json: board file is larger than" \
  run --board "$work/large.json"
expect_error "a trace that cannot be written fails before the run" 2 \
  "cannot write trace to $work/absent/trace" run --trace "$work/absent/trace"
check "... and prints no summary" test ! -s "$work/out"
expect_error "a waveform that cannot be written fails before the run" 2 \
  "cannot write waveform to $work/absent/bus.vcd" run --vcd "$work/absent/bus.vcd"
"$boardsim" op GetIdentity --vcd "$work/op.vcd" >"$work/out"
check "op writes the waveform of its bus traffic" \
  grep -qx 'i2c-1: Data read: 41' \
  <(sigrok-cli -I vcd:downsample=50 -i "$work/op.vcd" -P i2c -A i2c=addr-data)
board forged '{"name": "x\nstatus    EFI_SUCCESS\u001b[2J"}'
"$boardsim" run --host --board "$work/forged.json" >"$work/out"
check "control characters in a board's name are escaped" \
  grep -qxF 'board     x\x0Astatus    EFI_SUCCESS\x1B[2J ('"$work"'/forged.json)' "$work/out"

# Outputs that name an input or each other: refused before anything is opened, every file as it was.
mkdir "$work/own"
cp "$work/forged.json" "$work/own/mine.json"
cp "$image" "$work/own/my.efi"
cp "${image%.efi}.map" "$work/own/my.map"
ln -s mine.json "$work/own/link.json"
ln "$work/own/my.efi" "$work/own/hard.efi"
own=$work/own
before=$(cd "$own" && ls -l --time-style=+ && sha256sum -- *)
while IFS='|' read -r what args; do
  # shellcheck disable=SC2086 # the rows are word lists
  expect_error "$what" 2 "would overwrite|both go to standard output|not a PE32 image" $args
done <<EOF2
trace over the board|run --host --board $own/mine.json --trace $own/mine.json
waveform over the board through a link|op --host --board $own/mine.json --vcd $own/link.json GetLevel
trace over the image|run --image $own/my.efi --trace $own/my.efi
trace over the image by a hard link|run --image $own/my.efi --trace $own/hard.efi
trace over the image's map|op --image $own/my.efi --trace $own/my.map GetLevel
trace and waveform to one new file|run --host --trace $own/new.out --vcd $own/./new.out
trace and waveform both to standard output|run --host --trace - --vcd -
a run that fails after its outputs are opened|run --image $work/text.efi --trace $own/mine.json --vcd $own/new.vcd
EOF2
check "refused outputs leave every file as it was" \
  test "$before" = "$(cd "$own" && ls -l --time-style=+ && sha256sum -- *)"
echo old >"$work/real.trace"
ln -s real.trace "$work/link.trace"
"$boardsim" run --host --trace "$work/link.trace" >/dev/null
check "an output through a link replaces the file it names, not the link" \
  test -L "$work/link.trace" -a "$(head -n 1 "$work/real.trace")" = "# boardtrace 1"
check "no partial file is left behind" test -z "$(find "$work" -name '*.partial-*')"
"$boardsim" run --host --vcd - >"$work/out" 2>"$work/err"
check "--vcd - writes the waveform to standard output, the summary to standard error" \
  test "$(head -n 1 "$work/out")" = '$version boardsim $end' -a -n "$(grep '^status' "$work/err")"

# A write error on any output is one line, exit 3, never a signal or a summary claiming success.
while IFS='|' read -r what pattern command; do
  bash -c "set -o pipefail; $command" >/dev/null 2>"$work/err"
  got=$?
  check "$what: exit 3" test $got -eq 3
  check "$what: one line" test "$(wc -l <"$work/err")" -eq 1 -a -n "$(grep -E "$pattern" "$work/err")"
done <<EOF2
trace to a closed pipe (host)|trace to standard output: Broken pipe|"$boardsim" run --host --trace - | head -c 1
trace to a closed pipe (image)|trace to standard output: Broken pipe|"$boardsim" run --trace - | head -c 1
summary to a full disk|standard output: No space left|"$boardsim" run --host >/dev/full
summary to a closed descriptor|standard output: Bad file descriptor|"$boardsim" run --host >&-
op summary to a full disk (image)|standard output: No space left|"$boardsim" op GetLevel >/dev/full
trace to a full device|trace to /dev/full: No space left|"$boardsim" run --host --trace /dev/full
waveform to a full device|waveform to /dev/full: No space left|"$boardsim" run --host --vcd /dev/full
decode to a full disk|standard output: No space left|"$boardsim" decode $work/trace >/dev/full
EOF2

# decode reads a stream: a device file is refused, a line without end is cut off at line 1, and
# sequence numbers and times must strictly increase (no access costs less than 1 ns).
record() { printf '%s %s R 8 0xE00F8040 0x00\n' "$@"; }
{ echo '# boardtrace 1'; record 0 0; record 0 200; } >"$work/seq-repeats.trace"
{ echo '# boardtrace 1'; record 5 0; record 4 200; } >"$work/seq-back.trace"
{ echo '# boardtrace 1'; record 0 5; record 1 5; } >"$work/time-repeats.trace"
{ echo '# boardtrace 1'; record 0 9; record 1 5; } >"$work/time-back.trace"
head -c 100000 /dev/zero >"$work/nul.trace"
while IFS='|' read -r what pattern file; do
  expect_error "decode $what" 2 "$pattern" decode "$file"
done <<EOF2
a device file|/dev/zero: is not a regular file, not a trace|/dev/zero
a line without end|nul.trace: line 1: expected '# boardtrace 1' or '# boardtrace 2', got '\\\\x00|$work/nul.trace
a repeated sequence number|line 3: sequence number 0 does not follow 0|$work/seq-repeats.trace
a sequence number that goes back|line 3: sequence number 4 does not follow 5|$work/seq-back.trace
a repeated time|line 3: time 5 ns does not follow 5 ns|$work/time-repeats.trace
a time that goes back|line 3: time 5 ns does not follow 9 ns|$work/time-back.trace
EOF2
cp "$work/trace" "$work/-x.trace"
(cd "$work" && "$boardsim" decode -- -x.trace >"$work/out")
check "-- ends decode's options" grep -q '^accesses  101811,' "$work/out"

# Text from the command line is escaped like text from files: one line, no raw control or
# non-ASCII byte (@ stands for newline, ESC, BEL, DEL and a UTF-8 C1 control).
controls=$'\n\e\a\x7f\xc2\x9b'
clean() { test "$(wc -l <"$1")" -eq "$2" && ! LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f-\xff]' "$1"; }
for template in 'run --board x@y' 'run --board @/b.json' 'run --bo@' 'run x@' 'op ReadRegister 3@' \
  'op Get@Level' 'op --list @' 'run --image none@.efi' 'decode none@' 'decode -- a b@' 'w@lk' \
  'run --trace @/t' 'run --vcd @/v'; do
  read -ra args <<<"$template"
  "$boardsim" "${args[@]//@/$controls}" >/dev/null 2>"$work/err"
  check "escaped: boardsim $template" clean "$work/err" 1
done
cp "$image" "$own/im${controls}.efi"
cp "${image%.efi}.map" "$own/im${controls}.map"
"$boardsim" op GetLevel --image "$own/im${controls}.efi" >"$work/out"
check "escaped: an image path in the summary" clean "$work/out" 15
"$boardsim" op GetLevel --json --image "$own/im${controls}.efi" >"$work/out"
check "escaped: an image path in JSON" grep -qF '"image": "'"$own"'/im\\x0A\\x1B\\x07\\x7F\\xC2\\x9B.efi"' "$work/out"

# The waveform keeps the trace's time: a bus clock too slow for the run is one line, no waveform,
# after the summary, which says so too.
sed 's/"punit"/"i2c_controller": {"bus_hz": 7}, "punit"/' "$(dirname "$0")/../../boards/default.json" \
  >"$work/slow-bus.json"
echo kept >"$work/slow.vcd"
expect_error "a bus clock too slow for the run" 2 \
  "slow.vcd: at bus_hz 7 the transaction at 0.154 ms would hold the bus until 5143.011 ms, past the next one at" \
  run --host --board "$work/slow-bus.json" --vcd "$work/slow.vcd"
check "... and leaves the waveform file as it was" test "$(cat "$work/slow.vcd")" = kept
check "... and the summary is not lost" grep -q '^waveform  not written to .*slow.vcd: at bus_hz 7' "$work/out"
# A write still on the wire when the call returns is drawn to its stop, and the summary says so.
"$boardsim" op WriteRegister 0x30 0x85 --vcd "$work/write.vcd" >"$work/out"
check "op's help example writes its waveform, past the end of the run" grep -qx \
  "waveform  written to $work/write.vcd, to 0.211 ms: the last transaction is on the wire for 0.058 ms after the run's end at 0.153 ms" \
  "$work/out"

# The CPU emulator runs in a child process: whatever ends it, the tool says so in one line.
# The damage is an int3 over the entry's first instruction (its RVA, which is its file offset, from
# the map beside the image), wherever the linker put it.
cp "$image" "$work/damaged.efi"
entry=$(awk '$NF == "_ModuleEntry" { print $1; exit }' "${image%.efi}.map")
printf '\314' | dd of="$work/damaged.efi" bs=1 seek=$((0x$entry)) conv=notrunc status=none
"$boardsim" run --image "$work/damaged.efi" >"$work/out" 2>"$work/err"
check "a damaged image does not return: exit 1" test $? -eq 1
check "a damaged image does not return: the summary says so" grep -q '^status    did not return' \
  "$work/out"
board stuck '{"faults": {"semaphore_never_granted": true}}' # a run of many seconds
"$boardsim" run --board "$work/stuck.json" >"$work/out" 2>"$work/err" &
tool=$!
runner=
while [ -z "$runner" ] && kill -0 "$tool" 2>/dev/null; do
  runner=$(pgrep -P "$tool" | head -n 1)
done
[ -n "$runner" ] && kill -ABRT "$runner"
wait "$tool"
check "an emulator that dies: exit 1" test $? -eq 1
check "an emulator that dies: one line saying the module did not return" \
  test "$(cat "$work/err")" = "boardsim: the module did not return: the CPU emulator died (signal 6, Aborted)"

finish
