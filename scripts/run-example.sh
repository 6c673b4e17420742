#!/usr/bin/env bash
# Installs what is missing, builds what the example needs (the program
# elasticpull-host and the module it loads, through scripts/build-program.sh,
# which shows the build's progress) and runs the program. Without arguments
# it runs the bundled example; any arguments are passed on to the program,
# which runs in the folder the command was started from (the example writes
# its outputs there).
#
#   bash scripts/run-example.sh [ARGS...]
set -euo pipefail
start_dir=$PWD
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
bash scripts/build-program.sh run-example "$start_dir"

program="$root/build/dev/elasticpull-host"
if [ ! -x "$program" ]; then
  echo "run-example: $(realpath -m --relative-to="$start_dir" "$program") was not built" >&2
  exit 1
fi
cd "$start_dir"
exec "$program" "$@"
