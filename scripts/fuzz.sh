#!/usr/bin/env bash
# Builds the fuzz preset and runs each fuzz target of fuzz/ for a bounded
# number of runs, starting from its seed corpus in fuzz/corpus/TARGET:
#
#   bash scripts/fuzz.sh [--runs N] [--time SECONDS] [TARGET...]
#
#   --runs N        runs per target (default: each target's own, about 15 s of
#                   work on one core of a two-core machine)
#   --time SECONDS  stop each target after this long even if its runs are not
#                   done (default 60)
#   TARGET          conversation, obj_file, selection, script,
#                   playground_request (default: all)
#
# What a run finds (a crash, a sanitizer report, a leak, a broken invariant)
# is saved to build/fuzz/findings/TARGET-*, and the script exits non-zero. New
# inputs a run discovers go to build/fuzz/corpus/TARGET (emptied at each run),
# never into the seed corpus. Each target's whole output is in
# build/logs/fuzz-TARGET.log. A long campaign is run by hand: fuzz/README.md.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Each target: its runs by default and the longest input it is given.
declare -A default_runs=([conversation]=30000 [obj_file]=200000 [selection]=300000 [script]=100000
                        [playground_request]=8000)
declare -A max_len=([conversation]=1024 [obj_file]=4096 [selection]=256 [script]=4096 [playground_request]=2048)
all_targets=(conversation obj_file selection script playground_request)

usage() { sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }

runs=""
time_limit=60
targets=()
while [ "$#" -gt 0 ]; do
  case "$1" in
    --runs) runs="${2:?--runs needs a number}"; shift 2 ;;
    --runs=*) runs="${1#*=}"; shift ;;
    --time) time_limit="${2:?--time needs a number of seconds}"; shift 2 ;;
    --time=*) time_limit="${1#*=}"; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "fuzz: unknown option $1 (see --help)" >&2; exit 2 ;;
    *)
      if [ -z "${max_len[$1]+set}" ]; then
        echo "fuzz: unknown target $1 (targets: ${all_targets[*]})" >&2
        exit 2
      fi
      targets+=("$1"); shift ;;
  esac
done
[ "${#targets[@]}" -gt 0 ] || targets=("${all_targets[@]}")
for number in "$runs" "$time_limit"; do
  if [ -n "$number" ] && ! [[ "$number" =~ ^[0-9]+$ ]]; then
    echo "fuzz: '$number' is not a whole number" >&2
    exit 2
  fi
done

mkdir -p build/logs
if ! bash scripts/build.sh fuzz > build/logs/fuzz-build.log 2>&1; then
  tail -n 30 build/logs/fuzz-build.log >&2
  echo "fuzz: building the fuzz preset FAILED (log: build/logs/fuzz-build.log)" >&2
  exit 1
fi

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
findings_dir=build/fuzz/findings
mkdir -p "$findings_dir"
failed=0
for target in "${targets[@]}"; do
  program=build/fuzz/fuzz/${target}_fuzzer
  work=build/fuzz/corpus/$target
  log=build/logs/fuzz-$target.log
  rm -rf "$work" "$findings_dir/$target"-*
  mkdir -p "$work"
  target_runs=${runs:-${default_runs[$target]}}
  # A target whose inputs have a syntax has a dictionary of its tokens.
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  t0=$SECONDS
  "$program" -runs="$target_runs" -max_total_time="$time_limit" -max_len="${max_len[$target]}" "${dict[@]}" \
    -artifact_prefix="$findings_dir/$target-" -print_final_stats=1 "$work" "fuzz/corpus/$target" > "$log" 2>&1
  rc=$?
  elapsed=$((SECONDS - t0))

  # libFuzzer's last status line: "#30000 DONE cov: 1895 ft: 10321 corp: 812/40Kb ... exec/s: 2000 ..."
  stats=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1)
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<< "$stats")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<< "$stats")
  corpus=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<< "$stats")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  found=("$findings_dir/$target"-*)
  if [ "$rc" -eq 0 ] && [ ! -e "${found[0]}" ]; then
    [ "${rate:-0}" -gt 0 ] && rate="$rate runs/s" || rate="under a second"
    echo "fuzz: $target: ok, ${done_runs:-?} runs in ${elapsed}s ($rate), cov ${cov:-?}, ft ${ft:-?}, corpus ${corpus:-?} inputs"
  else
    failed=$((failed + 1))
    grep -E -A 12 '^(==[0-9]+==|==== invariant violated|SUMMARY)' "$log" | head -n 40 >&2
    echo "fuzz: $target: FAILED after ${done_runs:-?} runs in ${elapsed}s (exit code $rc; log: $log)" >&2
    for file in "${found[@]}"; do
      [ -e "$file" ] && echo "fuzz: $target: finding $file; reproduce with: $program $file" >&2
    done
  fi
done

if [ "$failed" -ne 0 ]; then
  echo "fuzz: $failed of ${#targets[@]} targets FAILED" >&2
  exit 1
fi
[ "${#targets[@]}" -eq 1 ] && what="1 target" || what="${#targets[@]} targets"
echo "fuzz: $what, no findings"
