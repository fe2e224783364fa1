#!/usr/bin/env bash
# The module's coverage (firmware/ only), lines and branches, counted by the sanitize build
# (configured with BOARDINIT_COVERAGE) over whatever ran since the counters were cleared:
#   scripts/coverage.sh reset [BUILD_DIR]    clear the counters
#   scripts/coverage.sh report [BUILD_DIR]   the summary and every line or branch not taken
# ctest runs both around the suite. Branches the compiler adds for exceptions and branches gcov
# proves unreachable are not counted; a line the host cannot reach carries a GCOVR_EXCL marker
# with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build/sanitize}
case ${1:-} in
  reset)
    find "$build" -name '*.gcda' -delete
    ;;
  report)
    options=(--root . --filter 'firmware/' --exclude-unreachable-branches --exclude-throw-branches)
    gcovr "${options[@]}" --txt "$build/coverage-lines.txt" "$build"
    gcovr "${options[@]}" --branches --txt "$build/coverage-branches.txt" "$build"
    # Only the files with something left out, and the totals.
    grep -vE '100%' "$build/coverage-lines.txt"
    grep -vE '100%|^-+$|^File|^GCC Code|^Directory' "$build/coverage-branches.txt" || true
    ;;
  *)
    echo "usage: scripts/coverage.sh reset|report [BUILD_DIR]" >&2
    exit 2
    ;;
esac
