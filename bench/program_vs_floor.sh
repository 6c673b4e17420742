#!/usr/bin/env bash
# The program against its floor: elasticpull-host stretching every pair of a
# generated line mesh (`MESH --select all --factor 1.5 -o OUT`) beside
# ep_program_floor, a plain program doing the same stretch (one read, parse
# with from_chars, format with to_chars into one buffer, one write). Both run
# on the same meshes of 100,000 and 1,000,000 points, interleaved round by
# round (the order alternating), their outputs compared byte for byte.
# Prints, for each size, the medians of CPU time (user + system) and peak
# resident memory, the program/floor ratios (median of the rounds' ratios,
# with their range), and how the CPU time grows from 100k to 1M points.
#
#   bash bench/program_vs_floor.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR (default build/bench) holds elasticpull-host, elasticpull.p and
# bench/ep_program_floor, ep_make_line_mesh, ep_measure_run (scripts/bench.sh
# builds them). ROUNDS defaults to 5. Exits non-zero if an output differs.
#
# The meshes and outputs go to a folder in memory (/dev/shm) when there is one,
# so that the disk's own pace does not blur the figures (both programs read and
# write the same bytes); EP_BENCH_TMP names another folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build="${1:-build/bench}"
rounds="${2:-5}"
factor=1.5
program="$build/elasticpull-host"
floor="$build/bench/ep_program_floor"
make_mesh="$build/bench/ep_make_line_mesh"
measure="$build/bench/ep_measure_run"
for tool in "$program" "$floor" "$make_mesh" "$measure"; do
  if [ ! -x "$tool" ]; then
    echo "program_vs_floor: $tool is missing (build the benchmarks first: bash scripts/bench.sh)" >&2
    exit 2
  fi
done

parent="${EP_BENCH_TMP:-}"
if [ -z "$parent" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then parent=/dev/shm; else parent="${TMPDIR:-/tmp}"; fi
fi
work="$(mktemp -d "$parent/ep-program-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# One measured run: appends "cpu_seconds peak_kib" to FILE; the command's
# output goes to /dev/null, a failure stops the script.
measure_into() {
  local file="$1"
  shift
  local line
  line="$("$measure" "$@" 2>/dev/null </dev/null)" || true
  set -- $line
  if [ "${3:-1}" != 0 ]; then
    echo "program_vs_floor: a run failed" >&2
    exit 1
  fi
  echo "$1 $2" >>"$file"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

run_size() {
  local points="$1" mesh="$work/mesh-$1.obj"
  "$make_mesh" "$points" "$mesh"
  local runs="$work/runs-$points"
  : >"$runs.program"
  : >"$runs.floor"
  # A first run of each, unmeasured, so that the file is in the page cache.
  "$floor" "$mesh" "$work/floor.obj" "$factor"
  "$program" "$mesh" --select all --factor "$factor" -o "$work/program.obj" -q
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then
      measure_into "$runs.floor" "$floor" "$mesh" "$work/floor.obj" "$factor"
      measure_into "$runs.program" "$program" "$mesh" --select all --factor "$factor" -o "$work/program.obj" -q
    else
      measure_into "$runs.program" "$program" "$mesh" --select all --factor "$factor" -o "$work/program.obj" -q
      measure_into "$runs.floor" "$floor" "$mesh" "$work/floor.obj" "$factor"
    fi
    if ! cmp -s "$work/floor.obj" "$work/program.obj"; then
      echo "program_vs_floor: at $points points the program's output differs from the floor's" >&2
      exit 1
    fi
  done
  paste -d ' ' "$runs.program" "$runs.floor" >"$runs"
}

# "median (min-max)" of the rounds' ratios of column A to column B.
ratio() {
  local file="$1" a="$2" b="$3"
  local ratios
  ratios="$(awk -v a="$a" -v b="$b" '{ printf "%.4f\n", $a / $b }' "$file")"
  printf '%.2f (%.2f-%.2f)' "$(median <<<"$ratios")" "$(sort -g <<<"$ratios" | head -1)" \
    "$(sort -g <<<"$ratios" | tail -1)"
}

verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "meets" : "MISSES") }'; }

sizes=(100000 1000000)
for points in "${sizes[@]}"; do run_size "$points"; done

cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo 2>/dev/null | head -1)"
echo "Program against its floor: elasticpull-host MESH --select all --factor $factor -o OUT"
echo "beside ep_program_floor, $rounds interleaved rounds a size, outputs byte-identical, files in $parent"
echo "machine: ${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
printf '%-9s %-12s %-10s %-24s %-12s %-10s %-24s\n' points "program CPU" "floor CPU" "CPU ratio (range)" \
  "program RSS" "floor RSS" "RSS ratio (range)"
for points in "${sizes[@]}"; do
  runs="$work/runs-$points"
  cpu_ratio="$(ratio "$runs" 1 3)"
  rss_ratio="$(ratio "$runs" 2 4)"
  printf '%-9s %-12s %-10s %-24s %-12s %-10s %-24s\n' "$points" \
    "$(awk '{ print $1 }' "$runs" | median | xargs printf '%.3f s')" \
    "$(awk '{ print $3 }' "$runs" | median | xargs printf '%.3f s')" \
    "$cpu_ratio $(verdict "${cpu_ratio%% *}" 2.0)" \
    "$(awk '{ print $2 / 1024 }' "$runs" | median | xargs printf '%.1f MiB')" \
    "$(awk '{ print $4 / 1024 }' "$runs" | median | xargs printf '%.1f MiB')" \
    "$rss_ratio $(verdict "${rss_ratio%% *}" 2.0)"
done
small="$work/runs-${sizes[0]}"
large="$work/runs-${sizes[1]}"
growth() {
  local column="$1"
  awk -v c="$column" '{ print $c }' "$large" | median >"$work/large"
  awk -v c="$column" '{ print $c }' "$small" | median >"$work/small"
  awk '{ getline small < "'"$work/small"'"; printf "%.1f", $1 / small }' "$work/large"
}
echo "CPU from 100k to 1M points: program x$(growth 1), floor x$(growth 3) (linear: between 8 and 12)"
echo "targets: CPU and peak memory at most 2.0 times the floor's"
