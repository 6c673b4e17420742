#!/usr/bin/env bash
# Installs every Debian package the builds and tests need, and nothing that is
# already there. Safe to run again. Needs root (or sudo) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-tidy valgrind
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  gcc-multilib g++-multilib
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  libcli11-dev nlohmann-json3-dev
  libpng-dev libfreetype-dev fonts-dejavu-core
  wine wine32:i386
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
# Wine's 32-bit half lives in the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
as_root apt-get update -q
as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
