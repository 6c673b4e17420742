#!/usr/bin/env bash
# Installs what is missing, builds the development build and runs the stand-in
# host program elasticpull-host. Without arguments it runs the bundled
# example; any arguments are passed on to the program, which runs in the folder
# the command was started from (the example writes its outputs there).
#
#   bash scripts/run-example.sh [ARGS...]
set -euo pipefail
start_dir=$PWD
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
mkdir -p build
echo "run-example: building the dev preset (log: build/dev-build.log)"
bash scripts/build.sh dev >build/dev-build.log 2>&1 || {
  cat build/dev-build.log
  echo "run-example: the build failed" >&2
  exit 1
}

program="$root/build/dev/elasticpull-host"
if [ ! -x "$program" ]; then
  echo "run-example: $program was not built" >&2
  exit 1
fi
cd "$start_dir"
exec "$program" "$@"
