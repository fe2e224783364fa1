#!/usr/bin/env bash
# The main job: install what is missing, build, and run the module on the default board.
# Extra arguments go to `boardsim run` (for example --board no-pmic or --trace -).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
exec build/release/tools/boardsim run "$@"
