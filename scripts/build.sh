#!/usr/bin/env bash
# Configures and builds one preset from CMakePresets.json:
#
#   bash scripts/build.sh [PRESET]      (default: dev)
#
# Presets: dev (Linux x86-64), asan (the same under AddressSanitizer and
# UndefinedBehaviorSanitizer), m32 (32-bit Linux), mingw (32-bit Windows, the
# shipping elasticpull.p). The build lands in build/PRESET. Needs the packages
# of scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

preset="${1:-dev}"
cmake --preset "$preset"
cmake --build --preset "$preset"
