#!/usr/bin/env bash
# Builds what running elasticpull-host needs and nothing more: the target
# elasticpull-host of the dev preset, which brings the module elasticpull.p it
# loads and the bundled example's files, but not the tests or the benchmarks.
#
#   bash scripts/build-program.sh NAME [FOLDER]
#
# NAME starts the lines it prints (the calling script's name); FOLDER is where
# the user stands (default: the current folder), so that the log's path is
# shown relative to it. The build's progress is shown as ninja reports it: on
# a terminal one status line that is rewritten at every step
# ("[12/61] Building CXX object ..."), elsewhere one line a step; compiler
# messages and everything else are shown in full. The whole output also goes
# to build/dev-build.log. Exits non-zero when the build fails.
set -euo pipefail
name="${1:?usage: build-program.sh NAME [FOLDER]}"
folder="${2:-$PWD}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
mkdir -p build
log=build/dev-build.log
shown_log=$(realpath -m --relative-to="$folder" "$root/$log")

# Ninja's "[done/total] what" lines and CMake's "-- ..." lines are status:
# on a terminal each replaces the one before, cut to the terminal's width
# (and so do the preset's variables CMake lists first, and blank lines).
show_progress() {
  local line status_open=0 width status='^(\[[0-9]+/[0-9]+\] |-- |Preset CMake variables:|  [A-Z_]+=|$)'
  if [ -t 1 ]; then
    width=$(tput cols 2>/dev/null || echo 80)
    while IFS= read -r line; do
      if [[ "$line" =~ $status ]]; then
        [ "${#line}" -ge "$width" ] && line="${line:0:$((width - 4))}..."
        printf '\r\033[K%s' "$line"
        status_open=1
      else
        [ "$status_open" -eq 1 ] && printf '\r\033[K'
        printf '%s\n' "$line"
        status_open=0
      fi
    done
    [ "$status_open" -eq 1 ] && printf '\n'
  else
    cat
  fi
  return 0
}

echo "$name: building elasticpull-host and the module (dev preset; log: $shown_log)"
started=$SECONDS
set +e
{ cmake --preset dev && cmake --build --preset dev --target elasticpull-host; } 2>&1 | tee "$log" | show_progress
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  echo "$name: the build failed; the whole log is $shown_log" >&2
  exit 1
fi
echo "$name: built in $((SECONDS - started)) s"
