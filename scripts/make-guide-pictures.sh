#!/usr/bin/env bash
# Makes the pictures of the user guide (docs/guide.md): runs elasticpull-host
# on the bundled example (examples/bars.obj) with each session script in
# docs/guide/ (NAME.script), in that folder, so each writes its pictures
# (NAME.svg, and any other the script names) beside it.
#
#   bash scripts/make-guide-pictures.sh [--program PATH] [--into DIR]
#
# Without --program it first installs what is missing and builds the program
# and the module (scripts/build-program.sh); --into writes the pictures to DIR
# instead of docs/guide/ (the test that compares them with the committed ones
# does that).
set -euo pipefail
start_dir=$PWD
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program=""
into="$root/docs/guide"
while [ "$#" -gt 0 ]; do
  case "$1" in
    --program) program=$(realpath "${2:?--program needs a path}"); shift 2 ;;
    --into) into=$(realpath -m "${2:?--into needs a folder}"); shift 2 ;;
    *) echo "make-guide-pictures: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
cd "$root"

if [ -z "$program" ]; then
  bash scripts/install-deps.sh
  bash scripts/build-program.sh make-guide-pictures "$start_dir"
  program="$root/build/dev/elasticpull-host"
fi

mkdir -p "$into"
scripts=("$root"/docs/guide/*.script)
for script in "${scripts[@]}"; do
  echo "make-guide-pictures: running $(realpath -m --relative-to="$start_dir" "$script")"
  (cd "$into" && "$program" "$root/examples/bars.obj" --script "$script" -q >/dev/null) || {
    echo "make-guide-pictures: $(basename "$script") failed" >&2
    exit 1
  }
done
echo "make-guide-pictures: the pictures are in $(realpath -m --relative-to="$start_dir" "$into")"
