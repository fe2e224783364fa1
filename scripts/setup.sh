#!/usr/bin/env bash
# Installs what the project needs to build and test, when it is missing (Debian packages).
set -euo pipefail

packages=(cmake ninja-build g++ clang-14 lld-14 llvm-14 libgtest-dev libgmock-dev libbenchmark-dev
          libunicorn-dev libcli11-dev nlohmann-json3-dev python3-jsonschema sigrok-cli
          uefitool-cli libclang-rt-14-dev gcovr llvm-14-dev)
# The boot of the module inside a real PEI core (scripts/pei-core.sh).
packages+=(qemu-system-x86 ovmf-ia32 gdb liblzma-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >&2
fi
