#!/usr/bin/env bash
# The main job: install what is missing for it, build boardsim and the image, and run the module
# on the default board. Extra arguments go to `boardsim run` (for example --board no-pmic or
# --trace -). Build output goes to standard error, so a trace on standard output stays clean.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
# A tree configured here first builds no tests (their packages come with scripts/setup.sh test);
# a tree configured before keeps its choice.
tests=()
[ -f build/release/CMakeCache.txt ] || tests=(-DBOARDINIT_TESTS=OFF)
cmake --preset release "${tests[@]}" >&2
# module_package: the integration kit beside the image, every file its INF names included.
cmake --build --preset release --target boardsim module_package >&2
exec build/release/tools/boardsim run "$@"
