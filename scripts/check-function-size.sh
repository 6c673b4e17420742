#!/usr/bin/env bash
# Fails when a function of the stand-in host is longer than a reader can hold
# in their head (default: 80 lines, comments and blank lines included).
#
#   bash scripts/check-function-size.sh BUILD_DIR [MAX_LINES]
#
# BUILD_DIR must hold compile_commands.json (every preset writes one). Uses
# clang-tidy's readability-function-size check on every standin/ source.
set -euo pipefail
build_dir="${1:?usage: check-function-size.sh BUILD_DIR [MAX_LINES]}"
max_lines="${2:-80}"
cd "$(dirname "${BASH_SOURCE[0]}")/.."

config="{Checks: '-*,readability-function-size', WarningsAsErrors: '*',
         CheckOptions: [{key: readability-function-size.LineThreshold, value: $max_lines}]}"
status=0
count=0
for source in $(git ls-files 'standin/*.cpp'); do
  count=$((count + 1))
  if ! clang-tidy --quiet -p "$build_dir" --config="$config" "$source" 2>/dev/null; then status=1; fi
done
if [ "$status" -eq 0 ]; then
  echo "check-function-size: every function in $count stand-in host sources is at most $max_lines lines"
fi
exit "$status"
