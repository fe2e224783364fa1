#!/usr/bin/env bash
# Boots the module inside a real PEI core: builds what it needs, puts the module's FFS file into
# the PEI volume of Debian's 32-bit OVMF and boots it under qemu-system-i386, dispatched before
# and after memory (tests/peicore/pei_core_boot.py says what it requires). Logs and firmware
# copies go to build/release/pei-core/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
cmake --preset release >&2
cmake --build --preset release --target boardsim place_peim module_package >&2
build=build/release
exec python3 tests/peicore/pei_core_boot.py --place-peim $build/package/edit/place_peim \
  --ffs $build/image/boardinit.ffs --map $build/image/boardinit.map \
  --boardsim $build/tools/boardsim --work $build/pei-core "$@"
