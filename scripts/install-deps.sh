#!/usr/bin/env bash
# Installs every Debian package the builds and tests need, and nothing that is
# already there, then the playground page's npm packages (three.js, and
# playwright-core for its browser tests) into web/node_modules from
# web/package-lock.json. Safe to run again. Needs root (or sudo) on Debian 12.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(
  build-essential cmake ninja-build pkg-config git clang-tidy valgrind gcovr
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  gcc-multilib g++-multilib
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  libcli11-dev nlohmann-json3-dev libcpp-httplib-dev libboost-dev
  libpng-dev libfreetype-dev fonts-dejavu-core libxml2-dev
  cmark-gfm zip unzip
  chromium
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
# Node.js and npm: Debian's, unless the machine already has them (from any
# source; another vendor's nodejs package brings its own npm).
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing ${missing[*]}"
  # Wine's 32-bit half lives in the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The page's npm packages, exactly as locked; again only when the lock file
# changed since the last install.
stamp=web/node_modules/.installed-package-lock.json
if cmp -s web/package-lock.json "$stamp"; then
  echo "install-deps: web/node_modules is up to date"
else
  echo "install-deps: npm ci in web/"
  (cd web && npm ci --no-audit --no-fund)
  cp web/package-lock.json "$stamp"
fi
