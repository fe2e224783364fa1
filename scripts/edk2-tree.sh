#!/usr/bin/env bash
# Prints the folder of an EDK2 tree (BaseTools with its C tools built, Conf, MdePkg) for the
# integration-kit test (tests/kit/edk2_platform.py, which reads it from EDK2_TREE). The tree comes
# from an archive of those paths, by default the one in ../shared/edk2 beside the repository
# (BOARDINIT_EDK2_ARCHIVE names another), and is unpacked and built once into
# ${XDG_CACHE_HOME:-~/.cache}/boardinit/edk2-<commit>, outside the source tree: building the C
# tools takes a few minutes, every later call prints the folder at once.
#   EDK2_TREE=$(scripts/edk2-tree.sh) ctest --test-dir build/release -L edk2
# Progress goes to standard error; standard output holds the folder alone.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

archive=${BOARDINIT_EDK2_ARCHIVE:-}
if [ -z "$archive" ]; then
  # The archive's name carries the EDK2 commit it was taken at; one archive is expected.
  candidates=("$repo"/../shared/edk2/edk2-basetools-*.tar.xz)
  if [ ${#candidates[@]} -ne 1 ] || [ ! -f "${candidates[0]}" ]; then
    echo "edk2-tree: expected one archive $repo/../shared/edk2/edk2-basetools-<commit>.tar.xz;" \
         "set BOARDINIT_EDK2_ARCHIVE to the archive to use" >&2
    exit 2
  fi
  archive=${candidates[0]}
fi
if [ ! -f "$archive" ]; then
  echo "edk2-tree: BOARDINIT_EDK2_ARCHIVE $archive is not a file" >&2
  exit 2
fi
name=$(basename "$archive")
name=${name%.tar.xz}
commit=${name#edk2-basetools-}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/boardinit
tree=$cache/edk2-$commit
# A tree is complete once its stamp is written, after the tools the platform build calls exist.
stamp=$tree/.boardinit-built

mkdir -p "$cache"
# One unpack and build at a time: a second caller waits, then finds the stamp.
exec 9>"$cache/edk2-$commit.lock"
flock 9
if [ ! -f "$stamp" ]; then
  echo "edk2-tree: unpacking $archive and building its C tools into $tree (once)" >&2
  work=$(mktemp -d "$cache/edk2-$commit.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  tar -xJf "$archive" -C "$work"
  if [ ! -f "$work/edksetup.sh" ] || [ ! -d "$work/BaseTools/Source/C" ]; then
    echo "edk2-tree: $archive holds no edksetup.sh and BaseTools/Source/C at its top" >&2
    exit 2
  fi
  # BrotliCompress needs a submodule the archive lacks and fails; -k builds the others, which
  # are checked below.
  make -k -j2 -C "$work/BaseTools/Source/C" >"$work/make.log" 2>&1 || true
  for tool in GenFw GenFv GenFfs GenSec GenCrc32 LzmaCompress; do
    if [ ! -x "$work/BaseTools/Source/C/bin/$tool" ]; then
      echo "edk2-tree: BaseTools' $tool did not build; see the end of the log:" >&2
      tail -n 20 "$work/make.log" >&2
      exit 1
    fi
  done
  touch "$work/.boardinit-built"
  rm -rf "$tree"
  mv "$work" "$tree"
  trap - EXIT
  echo "edk2-tree: built $tree" >&2
fi
echo "$tree"
