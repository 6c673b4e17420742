#!/usr/bin/env bash
# Runs a Windows test program under Wine: the cross-compiling emulator of the
# MinGW build (see cmake/toolchain-mingw-i686.cmake).
#
#   wine-run.sh [--prefix=DIR] PROGRAM.exe [ARGS...]
#
# Uses a private 32-bit Wine prefix (default: ./wine), created on first use
# under a lock so that parallel tests do not race to create it. Headless and
# quiet: no display, no Wine debug channels, no offer to install Mono/Gecko.
# The program's exit code is passed through.
set -euo pipefail

prefix=""
case "${1-}" in
  --prefix=*) prefix="${1#--prefix=}"; shift ;;
esac
if [ -z "$prefix" ]; then prefix="${WINEPREFIX:-$PWD/wine}"; fi
# Wine takes only an absolute prefix (a relative one fails without a word).
case "$prefix" in
  /*) ;;
  *) prefix="$PWD/$prefix" ;;
esac
if [ "$#" -eq 0 ]; then
  echo "usage: wine-run.sh [--prefix=DIR] PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

export WINEPREFIX="$prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export HOME="${HOME:-$prefix}"
unset DISPLAY WAYLAND_DISPLAY

if [ ! -e "$prefix/.ep-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -e "$prefix/.ep-ready" ]; then
      echo "wine-run: creating Wine prefix $prefix" >&2
      wineboot -i >/dev/null 2>&1
      wineserver -w
      touch "$prefix/.ep-ready"
    fi
  ) 9>"$prefix.lock"
fi

# Keep one Wine server alive between the test programs: a server that shuts
# down just as the next program connects answers it with "Connection reset by
# peer". -p60 starts one that stays for 60 s after its last client (an exit
# code of 2 means one is running already).
wineserver -p60 2>/dev/null || true

exec wine "$@"
