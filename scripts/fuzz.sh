#!/usr/bin/env bash
# Builds the fuzz presets and runs each fuzz target of fuzz/ for a fixed
# number of runs with a fixed seed and fixed addresses, from its committed
# seed corpus and its regression inputs, so that two runs on the same commit
# run the same inputs and reach the same coverage, however busy the machine:
#
#   bash scripts/fuzz.sh [--runs N] [--seed N] [TARGET...]
#
#   --runs N   runs per target (default: each target's own, below)
#   --seed N   libFuzzer's seed (default 1); another seed explores elsewhere
#   TARGET     conversation, conversation-m32 (the same target on the 32-bit
#              module, fuzz-m32 preset), obj_file, selection, script,
#              playground_request, session, program, planted,
#              planted-program (default: all)
#
# `planted` checks the checks: the conversation target with a fault planted
# deep in the tool (EP_FUZZ_PLANT=fifth-pair: the fifth pair's anchor end
# under a CTRL drag in Offset mode with Symmetry, fuzz/conversation/
# planted_fault.h) must find it within its runs; not finding it fails.
# `planted-program` does the same for the program layer: the program target
# with the output check skipping the script's outputs (EP_FUZZ_PLANT=
# script-outputs-unchecked, fuzz/program/planted_fault.cpp) must report an
# input the run changed.
#
# Each target reads fuzz/corpus/TARGET and fuzz/regressions/TARGET (every past
# finding, which must stay fixed) and writes what it discovers to
# build/fuzz/corpus/TARGET (emptied first), never into the committed corpus
# (fuzz/README.md says how to merge a campaign's finds back). Two targets run
# at a time. A finding (a crash, a sanitizer report, a leak, a broken
# invariant, the model's disagreement) is saved as build/fuzz/findings/
# TARGET-*; the script prints the report and the command that reproduces it,
# and exits non-zero. Each target's whole output is in build/logs/fuzz-TARGET.log.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Each target: its runs by default (about half a minute of one core) and the longest input it is given.
declare -A default_runs=([conversation]=30000 [conversation-m32]=8000 [obj_file]=200000 [selection]=300000
                        [script]=100000 [playground_request]=8000 [session]=600 [program]=4000 [planted]=30000
                        [planted-program]=4000)
declare -A max_len=([conversation]=1024 [conversation-m32]=1024 [obj_file]=4096 [selection]=256 [script]=4096
                    [playground_request]=2048 [session]=2048 [program]=512 [planted]=1024 [planted-program]=512)
all_targets=(conversation conversation-m32 obj_file selection script playground_request session program planted
             planted-program)

usage() { sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }

runs=""
seed=1
targets=()
while [ "$#" -gt 0 ]; do
  case "$1" in
    --runs) runs="${2:?--runs needs a number}"; shift 2 ;;
    --runs=*) runs="${1#*=}"; shift ;;
    --seed) seed="${2:?--seed needs a number}"; shift 2 ;;
    --seed=*) seed="${1#*=}"; shift ;;
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
for number in "$runs" "$seed"; do
  if [ -n "$number" ] && ! [[ "$number" =~ ^[0-9]+$ ]]; then
    echo "fuzz: '$number' is not a whole number" >&2
    exit 2
  fi
done

mkdir -p build/logs
build_preset() {
  if ! bash scripts/build.sh "$1" > "build/logs/$1-build.log" 2>&1; then
    tail -n 30 "build/logs/$1-build.log" >&2
    echo "fuzz: building the $1 preset FAILED (log: build/logs/$1-build.log)" >&2
    exit 1
  fi
}
build_preset fuzz
[[ " ${targets[*]} " == *" conversation-m32 "* ]] && build_preset fuzz-m32

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Addresses must not vary from run to run either: libFuzzer's comparison-guided
# mutations take the operands of the program's comparisons, pointers among
# them, so with address randomization two runs of the same seed part ways.
# setarch -R runs the targets without it; where the system refuses, the runs
# go on, reproducible only up to the addresses.
fixed_addresses=(setarch "$(uname -m)" -R)
if ! "${fixed_addresses[@]}" true 2> /dev/null; then
  echo "fuzz: note: cannot turn address randomization off here (setarch -R): runs of one seed may differ" >&2
  fixed_addresses=()
fi
findings_dir=build/fuzz/findings
results=build/fuzz/results
mkdir -p "$findings_dir" "$results"

# The program, corpus and regression folder of a target.
program_of() {
  case "$1" in
    conversation-m32) echo build/fuzz-m32/fuzz/conversation_fuzzer ;;
    planted) echo build/fuzz/fuzz/conversation_fuzzer ;;
    planted-program) echo build/fuzz/fuzz/program_fuzzer ;;
    *) echo "build/fuzz/fuzz/$1_fuzzer" ;;
  esac
}
inputs_of() {
  case "$1" in
    conversation-m32 | planted) echo conversation ;;
    planted-program) echo program ;;
    *) echo "$1" ;;
  esac
}

# Runs one target; its outcome goes to $results/TARGET (a line to print, then
# "ok" or "failed").
run_target() {
  local target=$1
  local program work log inputs
  program=$(program_of "$target")
  inputs=$(inputs_of "$target")
  work=build/fuzz/corpus/$target
  log=build/logs/fuzz-$target.log
  rm -rf "$work" "$findings_dir/$target"-*
  mkdir -p "$work"
  local target_runs=${runs:-${default_runs[$target]}}
  local folders=("fuzz/corpus/$inputs")
  [ -d "fuzz/regressions/$inputs" ] && folders+=("fuzz/regressions/$inputs")
  # A target whose inputs have a syntax has a dictionary of its tokens.
  local dict=()
  [ -f "fuzz/$inputs.dict" ] && dict=(-dict="fuzz/$inputs.dict")
  local plant="" caught=""
  [ "$target" = planted ] && plant=fifth-pair caught="differs from the model's"
  [ "$target" = planted-program ] && plant=script-outputs-unchecked caught="changed its input"
  local t0=$SECONDS
  EP_FUZZ_PLANT=$plant "${fixed_addresses[@]}" "$program" -seed="$seed" -runs="$target_runs" -max_len="${max_len[$target]}" -reload=0 \
    "${dict[@]}" -artifact_prefix="$findings_dir/$target-" -print_final_stats=1 "$work" "${folders[@]}" \
    > "$log" 2>&1
  local rc=$?
  local elapsed=$((SECONDS - t0))

  # libFuzzer's last status line: "#30000 DONE cov: 1895 ft: 10321 corp: 812/40Kb ... exec/s: 2000 ..."
  local stats done_runs cov ft corpus rate found
  stats=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1)
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  [ -n "$done_runs" ] || done_runs=$(sed -nE 's/^#([0-9]+).*/\1/p' <<< "$stats")
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<< "$stats")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<< "$stats")
  corpus=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<< "$stats")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  found=$(ls "$findings_dir/$target"-* 2> /dev/null | head -n 1)
  {
    if [ -n "$plant" ]; then
      # The planted fault must be found, by the check meant to find it.
      if [ "$rc" -ne 0 ] && [ -n "$found" ] && grep -q "$caught" "$log"; then
        echo "fuzz: $target: ok, the planted fault $plant found after ${done_runs:-?} of $target_runs runs (${elapsed}s): $found"
        echo ok
      else
        grep -E -A 12 '^(==[0-9]+==|==== invariant violated|SUMMARY)' "$log" | head -n 40
        echo "fuzz: $target: FAILED: the planted fault $plant was not found in $target_runs runs (exit code $rc; log: $log)"
        echo failed
      fi
    elif [ "$rc" -eq 0 ] && [ -z "$found" ]; then
      [ "${rate:-0}" -gt 0 ] && rate="$rate runs/s" || rate="under a second"
      echo "fuzz: $target: ok, ${done_runs:-?} runs in ${elapsed}s ($rate), cov ${cov:-?}, ft ${ft:-?}, corpus ${corpus:-?} inputs"
      echo ok
    else
      grep -E -A 12 '^(==[0-9]+==|==== invariant violated|SUMMARY)' "$log" | head -n 40
      echo "fuzz: $target: FAILED after ${done_runs:-?} runs in ${elapsed}s (exit code $rc; log: $log)"
      for file in "$findings_dir/$target"-*; do
        [ -e "$file" ] || continue
        local env=""
        [ -n "$plant" ] && env="EP_FUZZ_PLANT=$plant "
        echo "fuzz: $target: finding $file; reproduce with: $env$program $file"
      done
      echo failed
    fi
  } > "$results/$target"
}

# Two at a time: each target's runs are fixed, so running side by side changes
# only how long they take.
running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge 2 ]; then
    wait -n
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
wait

failed=0
for target in "${targets[@]}"; do
  outcome=$(tail -n 1 "$results/$target")
  if [ "$outcome" = ok ]; then
    sed '$d' "$results/$target"
  else
    sed '$d' "$results/$target" >&2
    failed=$((failed + 1))
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz: $failed of ${#targets[@]} targets FAILED" >&2
  exit 1
fi
[ "${#targets[@]}" -eq 1 ] && what="1 target" || what="${#targets[@]} targets"
echo "fuzz: $what, seed $seed, no findings"
