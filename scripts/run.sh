#!/usr/bin/env bash
# The main job: install what is missing, build, and run the module on the default board.
# Extra arguments go to `boardsim run` (for example --board no-pmic or --trace -). Build output
# goes to standard error, so a trace on standard output stays clean.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >&2
cmake --build --preset release >&2
exec build/release/tools/boardsim run "$@"
