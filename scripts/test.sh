#!/usr/bin/env bash
# Every test, under AddressSanitizer and UndefinedBehaviorSanitizer. Each phase (packages, the
# sanitizer build, the fuzz build and smoke run, the suite) says when it starts, and the last lines
# say how long each took, so that a user sees where the time went.
set -euo pipefail
cd "$(dirname "$0")/.."
phases=()
phase_start=$SECONDS
phase_name=""
phase() {
  if [ -n "$phase_name" ]; then
    phases+=("$(printf '%-28s %5d s' "$phase_name" $((SECONDS - phase_start)))")
  fi
  phase_name=$1
  phase_start=$SECONDS
  [ -z "$phase_name" ] || printf '\n== test.sh: %s ==\n' "$phase_name"
}
report_phases() {
  phase ""
  printf '\n== test.sh: where the time went ==\n'
  printf '%s\n' "${phases[@]}"
}
trap report_phases EXIT

phase "packages (scripts/setup.sh)"
scripts/setup.sh test
# The integration kit is tested under EDK2's own build: the tree EDK2_TREE names, or the archive
# beside the repository unpacked and built once into the cache. Without either, that one test is
# skipped and says what it needs.
phase "EDK2 tree (scripts/edk2-tree.sh)"
if [ -z "${EDK2_TREE:-}" ]; then
  if EDK2_TREE=$(scripts/edk2-tree.sh); then
    export EDK2_TREE
  else
    unset EDK2_TREE
    echo "test.sh: no EDK2 tree: the integration-kit test will be skipped (scripts/edk2-tree.sh said why)"
  fi
fi
phase "sanitizer build"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
# Each fuzz target for a few seconds on its corpus (scripts/fuzz.sh all 600 is the long campaign).
# A finding fails the run, after the suite.
phase "fuzz build and smoke run"
fuzz_status=0
scripts/fuzz.sh all 3 || fuzz_status=$?
phase "test suite (ctest)"
ctest --preset sanitize
exit "$fuzz_status"
