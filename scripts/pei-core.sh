#!/usr/bin/env bash
# Boots the module inside a real PEI core: builds what it needs, puts the module's FFS file into
# the PEI volume of Debian's 32-bit OVMF and boots it under qemu-system-i386, dispatched before
# and after memory (tests/peicore/pei_core_boot.py says what it requires). Logs and firmware
# copies go to BUILD/pei-core/. BOARDINIT_BUILD_DIR names another configured tree (default
# build/release), such as a port's (docs/porting.md): its image boots the same way.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BOARDINIT_BUILD_DIR:-build/release}
if [ "$build" != build/release ] && [ ! -f "$build/CMakeCache.txt" ]; then
  echo "pei-core: BOARDINIT_BUILD_DIR $build is not a configured tree; configure it first" \
       "(docs/porting.md, step 2)" >&2
  exit 2
fi
scripts/setup.sh test
if [ "$build" = build/release ]; then
  cmake --preset release >&2
fi
cmake --build "$build" -j 2 --target boardsim place_peim module_package >&2
exec python3 tests/peicore/pei_core_boot.py --place-peim $build/package/edit/place_peim \
  --ffs $build/image/boardinit.ffs --map $build/image/boardinit.map \
  --boardsim $build/tools/boardsim --work $build/pei-core "$@"
