#!/usr/bin/env bash
# Builds the benchmarks and runs them, printing each part's table and at the
# end one table of every ratio with its target:
#
#   bash scripts/bench.sh [--repetitions N] [--no-instructions]
#
# The build is the `bench` preset (build/bench): Release at -O2, the way the
# shipping DLL is compiled, not the dev build. Each part is a function below
# that builds on the same preset and adds its rows to the closing table with
# add_ratio (or lets its program append them to "$summary").
#
#   module   the tool against the floor (bench/module_bench.cpp): the shipped
#            elasticpull.p loaded as a host loads it, beside the host calls and
#            pair arithmetic alone, on a minimal host without per-call
#            counting, timed in the same run, warm and with caches flushed,
#            Symmetry off and on, N repetitions (default 5); then, if valgrind
#            is installed, the instructions each case executes under
#            callgrind, which a noisy machine reproduces exactly
#            (--no-instructions leaves them out).
#   module32 the same rig at 1M points, warm, in 32-bit: the -m32 Linux
#            module (preset bench-m32) and the Windows DLL under Wine with a
#            small Windows bench host (preset bench-mingw, run through
#            scripts/wine-run.sh); bench/module_ratio.cpp.
#   program  elasticpull-host against a plain program doing the same stretch
#            of a generated OBJ line mesh (bench/program_vs_floor.sh): CPU time
#            and peak memory at 100k and 1M points, N interleaved rounds,
#            outputs compared byte for byte.
#   length   --length 2 on a mesh whose pairs all differ in length, against
#            --factor on the same file, at 10k, 30k and 100k points, and how
#            its time grows (bench/length_scaling.sh).
#
# See bench/README.md for a recorded run and what its numbers mean.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

repetitions=5
instructions=1
while [ "$#" -gt 0 ]; do
  case "$1" in
    --repetitions) repetitions="$2"; shift 2 ;;
    --repetitions=*) repetitions="${1#*=}"; shift ;;
    --no-instructions) instructions=0; shift ;;
    *) echo "bench: unknown argument '$1' (see the top of $0)" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
mkdir -p build
targets=(ep_module_bench elasticpull elasticpull-host ep_program_floor ep_make_line_mesh ep_measure_run)

echo "bench: configuring and building the bench preset (log: build/bench-build.log)"
{ cmake --preset bench && cmake --build --preset bench --target "${targets[@]}"; } >build/bench-build.log 2>&1 || {
  cat build/bench-build.log
  echo "bench: the build failed" >&2
  exit 1
}
bin="$root/build/bench/bench"
summary="$root/build/bench/ratios.txt"
: >"$summary"
failed=0

# One row of the closing table: what, ratio, spread, target, met (yes/med/no).
add_ratio() { printf '%s|%s|%s|%s|%s\n' "$1" "$2" "$3" "$4" "$5" >>"$summary"; }

echo
echo "bench: machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'),"\
  "$(c++ --version | head -n 1), load average $(cut -d' ' -f1-3 /proc/loadavg)"

module_part() {
  echo
  echo "==== module against the floor: $repetitions repetitions ===="
  "$bin/ep_module_bench" --benchmark_repetitions="$repetitions" --summary="$summary" || failed=1

  if [ "$instructions" -eq 0 ]; then return; fi
  if ! command -v valgrind >/dev/null; then
    echo "bench: valgrind is not installed: no instruction counts"
    return
  fi
  echo
  echo "==== module against the floor: instructions (callgrind, one run of each case, warm) ===="
  count_instructions "$bin/ep_module_bench" --instructions
}

# Runs a benchmark's --instructions mode under callgrind and prints each
# case's instructions for tool and floor with their ratio.
count_instructions() {
  local dir
  dir=$(mktemp -d)
  if ! valgrind --tool=callgrind --callgrind-out-file="$dir/cg" "$@" >"$dir/log" 2>&1; then
    cat "$dir/log"
    echo "bench: the instruction count failed" >&2
    failed=1
  else
    # Each dump: "desc: Trigger: Client Request: tool CASE N" and "summary: IR".
    local i=1
    while [ -f "$dir/cg.$i" ]; do
      printf '%s %s\n' "$(sed -n 's/^desc: Trigger: Client Request: //p' "$dir/cg.$i")" \
        "$(sed -n 's/^summary: //p' "$dir/cg.$i")"
      i=$((i + 1))
    done | awk '
      { ir[$1, $2, $3] = $4; if (!(($2, $3) in seen)) { seen[$2, $3] = 1; order[++n] = $2 " " $3 } }
      END {
        printf "%-20s %9s %14s %14s %7s\n", "case", "points", "tool", "floor", "ratio"
        for (i = 1; i <= n; i++) {
          split(order[i], k, " ")
          printf "%-20s %9d %14d %14d %7.3f\n", k[1], k[2], ir["tool", k[1], k[2]], ir["floor", k[1], k[2]],
                 ir["tool", k[1], k[2]] / ir["floor", k[1], k[2]]
          if (k[2] == 1000000 && ("tool", k[1], 100000) in ir && ++grown)
            grow[k[1]] = sprintf("tool x%.3f, floor x%.3f", ir["tool", k[1], k[2]] / ir["tool", k[1], 100000],
                                 ir["floor", k[1], k[2]] / ir["floor", k[1], 100000])
        }
        if (grown) printf "\nInstructions from 100000 to 1000000 points:\n"
        for (c in grow) printf "%-20s %s\n", c, grow[c]
      }'
  fi
  rm -rf "$dir"
}

module32_part() {
  echo
  echo "==== module against the floor, 32-bit: $repetitions repetitions ===="
  local preset
  for preset in bench-m32 bench-mingw; do
    echo "bench: building the $preset preset (log: build/$preset-build.log)"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset" --target elasticpull ep_module_ratio; } \
      >"build/$preset-build.log" 2>&1; then
      cat "build/$preset-build.log"
      echo "bench: the $preset build failed" >&2
      failed=1
      continue
    fi
  done
  if [ -x build/bench-m32/bench/ep_module_ratio ]; then
    build/bench-m32/bench/ep_module_ratio build/bench-m32/elasticpull.p --repetitions "$repetitions" \
      --label "module 32-bit Linux" --summary "$summary" || failed=1
    if [ "$instructions" -eq 1 ] && command -v valgrind >/dev/null; then
      echo
      echo "==== module against the floor, 32-bit Linux: instructions (callgrind, 100000 points) ===="
      count_instructions build/bench-m32/bench/ep_module_ratio build/bench-m32/elasticpull.p --instructions \
        --points 100000
    fi
  fi
  if [ -f build/bench-mingw/bench/ep_module_ratio.exe ]; then
    echo
    scripts/wine-run.sh --prefix="$root/build/bench-mingw/wine" build/bench-mingw/bench/ep_module_ratio.exe \
      build/bench-mingw/elasticpull.p --repetitions "$repetitions" --label "module DLL under Wine" \
      --summary "$summary" || failed=1
  fi
}

length_part() {
  echo
  echo "==== exact lengths against one stretch: $repetitions interleaved rounds ===="
  bash bench/length_scaling.sh --summary "$summary" "$root/build/bench" "$repetitions" || failed=1
}

program_part() {
  echo
  echo "==== program against its floor: $repetitions interleaved rounds ===="
  bash bench/program_vs_floor.sh --summary "$summary" "$root/build/bench" "$repetitions" || failed=1
}

module_part
module32_part
program_part
length_part

echo
echo "==== every ratio against its target ===="
awk -F'|' '{ printf "%-58s %10s %14s %10s  %s\n", $1, $2, $3, $4, $5 }' \
  <(printf 'what|ratio|spread|target|met\n') "$summary"
if grep -q '|no$' "$summary"; then echo "bench: some targets were not met in this run (see above)"; fi
exit "$failed"
