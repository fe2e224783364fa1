#!/usr/bin/env bash
# Runs boardsim as a user would and checks exit statuses and outputs.
set -u
boardsim=$1
image=$2 # the image the build made, which `run` uses by default
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # description, condition...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

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
    test "$(wc -l <"$work/err")" -eq 1 -a -n "$(grep -E "$pattern" "$work/err")"
}

expect_error "unknown board" 2 "no board named 'nowhere'" run --board nowhere
expect_error "missing file" 2 "$work/absent.json: cannot open" run --board "$work/absent.json"
printf '{\n  "name": "x",\n  "pads": [1,]\n}\n' >"$work/malformed.json"
expect_error "malformed JSON" 2 "malformed.json:3:13: trailing comma" run --board "$work/malformed.json"
printf '{"name": "x", "fans": 2}\n' >"$work/unknown.json"
expect_error "unknown key" 2 'unknown.json:1:15: unknown key "fans"' run --board "$work/unknown.json"
expect_error "unknown option" 2 "unknown option '--verbose'" run --verbose
expect_error "unknown command" 2 "unknown command 'walk'" walk
expect_error "--host with --image" 2 "exclude each other" run --host --image "$image"

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
expect_error "missing image" 2 "absent.efi: cannot read the file" run --image "$work/absent.efi"
expect_error "not an image" 2 "text.efi: not a PE image" run --image "$work/text.efi"
expect_error "truncated image" 2 "short.efi: truncated headers" run --image "$work/short.efi"
expect_error "PE32+ image" 2 "pe32plus.efi: a PE32\\+ image" run --image "$work/pe32plus.efi"
expect_error "x64 image" 2 "x64.efi: machine 0x8664 is not i386" run --image "$work/x64.efi"

echo "$failures failed"
test "$failures" -eq 0
