#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing:
#   scripts/setup.sh run    what scripts/run.sh needs (scripts/packages/run), nothing recommended
#   scripts/setup.sh [test] everything: that and what the tests need (scripts/packages/test)
# Each list holds one package a line; '#' starts a comment.
set -euo pipefail
cd "$(dirname "$0")"
case ${1:-test} in
  run) lists=(packages/run) recommends=(--no-install-recommends) ;;
  test) lists=(packages/run packages/test) recommends=() ;;
  *)
    echo "usage: scripts/setup.sh [run|test]" >&2
    exit 2
    ;;
esac

missing=()
for package in $(sed 's/#.*//' "${lists[@]}"); do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${recommends[@]}" \
    "${missing[@]}" >&2
fi
