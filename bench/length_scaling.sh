#!/usr/bin/env bash
# Exact lengths against one stretch: elasticpull-host making every pair of a
# generated line mesh 2 long (`MESH --pairs-from-edges --length 2 -o OUT`)
# beside the same program stretching every pair by a factor on the same file
# (`--factor 1.5`). The mesh's coordinates are pseudo-random, so every pair
# has a length of its own and --length picks the tool once for each pair: the
# host must make each of those builds cost the pair it stretches, not the mesh.
# Runs at 10,000, 30,000 and 100,000 points, interleaved round by round (the
# order alternating); prints the medians of CPU time (user + system), the
# ratio --length / --factor at each size (median of the rounds' ratios, with
# their spread), and the growth exponent of the --length time from 10,000 to
# 100,000 points (1 is linear).
#
#   bash bench/length_scaling.sh [--summary FILE] [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR (default build/bench) holds elasticpull-host, elasticpull.p and
# bench/ep_make_line_mesh, ep_measure_run. ROUNDS defaults to 5. --summary
# appends the ratios to FILE as rows of scripts/bench.sh's closing table.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

summary=/dev/null
if [ "${1:-}" = --summary ]; then
  summary="$2"
  shift 2
fi
build="${1:-build/bench}"
rounds="${2:-5}"
ratio_target=3.0
exponent_target=1.1
sizes=(10000 30000 100000)
program="$build/elasticpull-host"
make_mesh="$build/bench/ep_make_line_mesh"
measure="$build/bench/ep_measure_run"
for tool in "$program" "$make_mesh" "$measure"; do
  if [ ! -x "$tool" ]; then
    echo "length_scaling: $tool is missing (build the benchmarks first: bash scripts/bench.sh)" >&2
    exit 2
  fi
done

parent="${EP_BENCH_TMP:-}"
if [ -z "$parent" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then parent=/dev/shm; else parent="${TMPDIR:-/tmp}"; fi
fi
work="$(mktemp -d "$parent/ep-length-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# One measured run: appends "cpu_seconds peak_kib exit_code" to FILE.
measured() {
  local file="$1" what="$2" mesh="$3"
  local stretch=(--factor 1.5)
  if [ "$what" = length ]; then stretch=(--length 2); fi
  "$measure" "$file" "$program" "$mesh" --pairs-from-edges "${stretch[@]}" -o "$work/$what.obj" -q >/dev/null
  if [ "$(tail -n 1 "$file" | cut -d' ' -f3)" != 0 ]; then
    echo "length_scaling: the $what run failed on $mesh" >&2
    exit 1
  fi
}

for points in "${sizes[@]}"; do
  mesh="$work/mesh-$points.obj"
  "$make_mesh" "$points" "$mesh"
  "$program" "$mesh" --pairs-from-edges --factor 1.5 -o "$work/factor.obj" -q  # into the page cache
  : >"$work/length"
  : >"$work/factor"
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then
      measured "$work/factor" factor "$mesh"
      measured "$work/length" length "$mesh"
    else
      measured "$work/length" length "$mesh"
      measured "$work/factor" factor "$mesh"
    fi
  done
  paste -d ' ' <(cut -d' ' -f1 "$work/length") <(cut -d' ' -f1 "$work/factor") >"$work/runs-$points"
done

echo "Exact lengths: elasticpull-host MESH --pairs-from-edges --length 2 beside --factor 1.5 on the same"
echo "file (every pair of its own length: one pick of the tool a pair); $rounds interleaved rounds a size"
echo "Medians of CPU time; ratio = length / factor, the median of the rounds' ratios, min..max their spread."
echo
awk -v target="$ratio_target" -v etarget="$exponent_target" -v summary="$summary" '
  function median(list, n,    sorted, i, j, t) {
    for (i = 1; i <= n; i++) sorted[i] = list[i]
    for (i = 2; i <= n; i++)
      for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) { t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t }
    return n % 2 ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
  }
  FNR == 1 && NR > 1 { report() }
  { rows = FNR; length_[FNR] = $1; factor_[FNR] = $2; points = FILENAME; sub(/.*runs-/, "", points) }
  END {
    report()
    e = log(lengthCpu[last] / lengthCpu[first]) / log(last / first)
    ef = log(factorCpu[last] / factorCpu[first]) / log(last / first)
    printf "\nGrowth exponent of the CPU time from %d to %d points: --length %.2f, --factor %.2f (target %.1f)\n",
           first, last, e, ef, etarget
    printf "length: growth exponent %dk to %dk points|%.2f|factor %.2f|%.1f|%s\n", first / 1000, last / 1000, e, ef,
           etarget, (e <= etarget ? "yes" : "no") >> summary
  }
  function report(    i, r, low, high, mid) {
    if (!header++)
      printf "%-9s | %12s %12s | %7s %12s | %6s %4s\n", "points", "--length", "--factor", "ratio", "min..max",
             "target", "met"
    if (!first) first = points
    last = points
    for (i = 1; i <= rows; i++) {
      r[i] = length_[i] / factor_[i]
      if (i == 1 || r[i] < low) low = r[i]
      if (i == 1 || r[i] > high) high = r[i]
    }
    mid = median(r, rows)
    lengthCpu[points] = median(length_, rows)
    factorCpu[points] = median(factor_, rows)
    met = mid > target ? "no" : high <= target ? "yes" : "med"
    printf "%-9d | %10.3f s %10.3f s | %7.2f %12s | %6.1f %4s\n", points, lengthCpu[points], factorCpu[points], mid,
           sprintf("%.2f..%.2f", low, high), target, met
    printf "length: --length / --factor, %d points|%.2f|%.2f..%.2f|%.1f|%s\n", points, mid, low, high, target,
           met >> summary
  }
' "$work/runs-${sizes[0]}" "$work/runs-${sizes[1]}" "$work/runs-${sizes[2]}"
