# GDB sessions against boardsim --gdb, for the scripts that source this after setting $boardsim
# and $gdb: checks that count their failures, the port the server listens on, and one session
# that must end as the run without a debugger.
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=tests/tools/checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
expect() { # name, extended regular expression that GDB's output must match
  check "$1: $2" grep -Eq -- "$2" "$work/$1.gdb"
}

# listening FILE: the port the server wrote to FILE (its standard error), once it has.
listening() {
  local port= tries=0
  while [ -z "$port" ] && [ $tries -lt 300 ]; do
    port=$(sed -n 's/^boardsim: waiting for GDB on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$1")
    [ -z "$port" ] && sleep 0.1
    tries=$((tries + 1))
  done
  echo "$port"
}

# debug NAME GDB-COMMANDS BOARDSIM-ARGS...: one session on a port the system picks, then the
# run's trace and summary against the run without GDB. $with: options that go with --gdb.
with=
debug() {
  local name=$1 commands=$2
  shift 2
  "$boardsim" "$@" --trace "$work/$name.plain" >"$work/$name.plain.out"
  # shellcheck disable=SC2086
  timeout 300 "$boardsim" "$@" --gdb :0 $with --trace "$work/$name.trace" >"$work/$name.out" \
    2>"$work/$name.err" &
  server=$!
  local port
  port=$(listening "$work/$name.err")
  local symbols
  symbols=$(sed -n 's/^boardsim: symbols: //p' "$work/$name.err")
  check "$name: the server says where it listens and where the symbols are" \
    test -n "$port" -a -n "$symbols"
  # LOAD=file: the twin loaded as a plain file before connecting, no offset given (qOffsets).
  [ "${LOAD:-}" = file ] && symbols="file ${symbols##* }"
  printf '%s\n' "$symbols" "target remote :$port" "$commands" >"$work/$name.cmd"
  timeout 120 "$gdb" -nx -batch -x "$work/$name.cmd" >"$work/$name.gdb" 2>&1
  wait "$server"
  check "$name: the run under GDB ends as the run without" test $? -eq 0
  server=
  check "$name: the same trace as without --gdb" cmp -s "$work/$name.plain" "$work/$name.trace"
  check "$name: the same summary as without --gdb" cmp -s "$work/$name.plain.out" "$work/$name.out"
}
