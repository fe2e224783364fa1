#!/usr/bin/env bash
# Every test, under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
# Each fuzz target for a few seconds on its corpus (scripts/fuzz.sh all 600 is the long campaign).
scripts/fuzz.sh all 3
ctest --preset sanitize
