#!/usr/bin/env bash
# Every test, under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
# Each fuzz target for a few seconds on its corpus (scripts/fuzz.sh all 600 is the long campaign).
# A finding fails the run, after the suite, whose summary stays the last thing printed.
fuzz_status=0
scripts/fuzz.sh all 3 || fuzz_status=$?
ctest --preset sanitize
exit "$fuzz_status"
