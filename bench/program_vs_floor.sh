#!/usr/bin/env bash
# The program against its floor: elasticpull-host stretching every pair of a
# generated line mesh (`MESH --select all --factor 1.5 -o OUT`) beside
# ep_program_floor, a plain program doing the same stretch (one read, parse
# with from_chars, format with to_chars into one buffer, one write). Both run
# on the same meshes of 100,000 and 1,000,000 points, interleaved round by
# round (the order alternating), their outputs compared byte for byte.
# Prints, for each size, the medians of CPU time (user + system) and peak
# resident memory, the program/floor ratios (median of the rounds' ratios,
# with their spread), and how the CPU time grows from 100k to 1M points.
#
#   bash bench/program_vs_floor.sh [--summary FILE] [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR (default build/bench) holds elasticpull-host, elasticpull.p and
# bench/ep_program_floor, ep_make_line_mesh, ep_measure_run (scripts/bench.sh
# builds them). ROUNDS defaults to 5. --summary appends the ratios to FILE as
# rows of scripts/bench.sh's closing table. Exits non-zero if a run fails or an
# output differs.
#
# The meshes and outputs go to a folder in memory (/dev/shm) when there is one,
# so that the disk's own pace does not blur the figures (both programs read and
# write the same bytes); EP_BENCH_TMP names another folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

summary=/dev/null
if [ "${1:-}" = --summary ]; then
  summary="$2"
  shift 2
fi
build="${1:-build/bench}"
rounds="${2:-5}"
factor=1.5
cpu_target=1.25     # CPU time, program / floor
memory_target=1.20  # peak resident memory, program / floor
sizes=(100000 1000000)
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

run_floor() { "$floor" "$1" "$work/floor.obj" "$factor"; }
run_program() { "$program" "$1" --select all --factor "$factor" -o "$work/program.obj" -q; }

# One measured run of run_floor or run_program: appends "cpu_seconds
# peak_kib exit_code" to FILE.
measured() {
  local file="$1" what="$2" mesh="$3"
  if [ "$what" = floor ]; then
    "$measure" "$file" "$floor" "$mesh" "$work/floor.obj" "$factor" >/dev/null
  else
    "$measure" "$file" "$program" "$mesh" --select all --factor "$factor" -o "$work/program.obj" -q >/dev/null
  fi
  if [ "$(tail -n 1 "$file" | cut -d' ' -f3)" != 0 ]; then
    echo "program_vs_floor: the $what failed on $mesh" >&2
    exit 1
  fi
}

# Rounds at one size; leaves "program_cpu program_kib floor_cpu floor_kib"
# a round in $work/runs-POINTS.
run_size() {
  local points="$1" mesh="$work/mesh-$1.obj"
  "$make_mesh" "$points" "$mesh"
  # A first run of each, unmeasured, so that the file is in the page cache.
  run_floor "$mesh"
  run_program "$mesh"
  : >"$work/program"
  : >"$work/floor"
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then
      measured "$work/floor" floor "$mesh"
      measured "$work/program" program "$mesh"
    else
      measured "$work/program" program "$mesh"
      measured "$work/floor" floor "$mesh"
    fi
    if ! cmp -s "$work/floor.obj" "$work/program.obj"; then
      echo "program_vs_floor: at $points points the program's output differs from the floor's" >&2
      exit 1
    fi
  done
  paste -d ' ' <(cut -d' ' -f1,2 "$work/program") <(cut -d' ' -f1,2 "$work/floor") >"$work/runs-$points"
}

for points in "${sizes[@]}"; do run_size "$points"; done

cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo 2>/dev/null | head -1)"
echo "Program against its floor: elasticpull-host MESH --select all --factor $factor -o OUT beside"
echo "ep_program_floor; $rounds interleaved rounds a size, outputs byte-identical; files in $parent"
echo "machine: ${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
echo "Medians; ratio = program / floor, the median of the rounds' ratios, min..max their spread;"
echo "met: yes = the median and every round at or under the target, med = the median only."
echo
awk -v cpuTarget="$cpu_target" -v memoryTarget="$memory_target" -v summary="$summary" -v small="${sizes[0]}" -v large="${sizes[1]}" '
  function median(list, n,    sorted, i, j, t) {
    for (i = 1; i <= n; i++) sorted[i] = list[i]
    for (i = 2; i <= n; i++)
      for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) { t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t }
    return n % 2 ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
  }
  # Program column p over floor column f, for the rounds of one size.
  function ratio(p, f, target,    i, r, low, high) {
    for (i = 1; i <= rows; i++) {
      r[i] = value[i, p] / value[i, f]
      if (i == 1 || r[i] < low) low = r[i]
      if (i == 1 || r[i] > high) high = r[i]
    }
    mid = median(r, rows)
    spread = sprintf("%.2f..%.2f", low, high)
    met = mid > target ? "no" : high <= target ? "yes" : "med"
    return mid
  }
  function column(c,    i, list) {
    for (i = 1; i <= rows; i++) list[i] = value[i, c]
    return median(list, rows)
  }
  FNR == 1 && NR > 1 { report() }
  { rows = FNR; for (c = 1; c <= 4; c++) value[FNR, c] = $c; points = FILENAME; sub(/.*runs-/, "", points) }
  END {
    report()
    printf "\nCPU time from %d to %d points: program x%.2f, floor x%.2f (linear: x8 to x12)\n",
           small, large, cpu[large] / cpu[small], floorCpu[large] / floorCpu[small]
    grow = cpu[large] / cpu[small]
    printf "program: CPU time %dk to %dM points|x%.2f|floor x%.2f|x8..x12|%s\n", small / 1000, large / 1000000,
           grow, floorCpu[large] / floorCpu[small], (grow >= 8 && grow <= 12 ? "yes" : "no") >> summary
  }
  function report() {
    if (!header++)
      printf "%-9s | %10s %10s %6s %10s %6s %4s | %10s %10s %6s %10s %6s %4s\n", "points", "prog CPU", "floor CPU",
             "ratio", "min..max", "target", "met", "prog RSS", "floor RSS", "ratio", "min..max", "target", "met"
    cpu[points] = column(1)
    floorCpu[points] = column(3)
    cpuRatio = ratio(1, 3, cpuTarget); cpuSpread = spread; cpuMet = met
    memRatio = ratio(2, 4, memoryTarget); memSpread = spread; memMet = met
    printf "%-9d | %8.3f s %8.3f s %6.2f %10s %6.2f %4s | %6.1f MiB %6.1f MiB %6.2f %10s %6.2f %4s\n", points,
           cpu[points], floorCpu[points], cpuRatio, cpuSpread, cpuTarget, cpuMet, column(2) / 1024, column(4) / 1024,
           memRatio, memSpread, memoryTarget, memMet
    printf "program: CPU time, %d points|%.2f|%s|%.2f|%s\n", points, cpuRatio, cpuSpread, cpuTarget, cpuMet >> summary
    printf "program: peak memory, %d points|%.2f|%s|%.2f|%s\n", points, memRatio, memSpread, memoryTarget,
           memMet >> summary
  }
' "$work/runs-${sizes[0]}" "$work/runs-${sizes[1]}"
