# What the shell tool tests share, for a script that sources it: checks that count their
# failures, and one ending that says how many failed and sets the exit status.
failures=0
check() { # description, condition...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish() {
  echo "$failures failed"
  [ "$failures" -eq 0 ]
}
