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

# Node.js and npm for the page test, unless the machine has its own (Debian's npm would not install
# beside a Node.js from elsewhere).
extra=()
if [ "${1:-test}" = test ] && ! command -v npm >/dev/null 2>&1; then extra=(nodejs npm); fi
missing=()
for package in $(sed 's/#.*//' "${lists[@]}") "${extra[@]}"; do
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
# puppeteer-core, as tests/page/package-lock.json pins it; it never downloads a browser.
page_test=../tests/page
if [ "${1:-test}" = test ] && { [ ! -f "$page_test/node_modules/.package-lock.json" ] ||
   [ "$page_test/package-lock.json" -nt "$page_test/node_modules/.package-lock.json" ]; }; then
  echo "setup: installing the page test's npm packages" >&2
  (cd "$page_test" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund >&2)
fi
