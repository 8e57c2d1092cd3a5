#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; prints the
# command instead when not run as root.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-dev pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          lib3ds-dev libassimp-dev assimp-testmodels binutils-mingw-w64-x86-64 mingw-w64-tools)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
