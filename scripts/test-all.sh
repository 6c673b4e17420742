#!/usr/bin/env bash
# Installs what is missing, then builds and tests every build in turn:
#
#   dev    Linux x86-64: module, stand-in host, program, all tests
#   asan   the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   m32    32-bit Linux: module, stand-in host library, portable tests
#   mingw  32-bit Windows (the shipping elasticpull.p): export checks, the
#          portable tests and a smoke host, run under Wine
#   fuzz   the fuzz targets (clang, libFuzzer; the conversation also on the
#          32-bit module), each run a fixed number of times with a fixed seed
#          from its seed corpus and regression inputs, and a planted fault
#          that must be found, by scripts/fuzz.sh
#   coverage  the dev build's tests with gcc's coverage counters at -O0, then
#          the module's line and branch coverage against its gate
#          (scripts/coverage.sh), and the stand-in host's
#
#   bash scripts/test-all.sh [PRESET...]     (default: all six)
#
# Prints CTest's summary for each build (for fuzz, a line a target), the
# coverage figures, and a closing line with the totals; exits non-zero if any
# build, test or fuzz run fails or the module's coverage is below its gate.
# Each build stops at its first failing step, the others still run.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [ "$#" -gt 0 ]; then presets=("$@"); else presets=(dev asan m32 mingw fuzz coverage); fi

bash scripts/install-deps.sh || { echo "test-all: installing the dependencies failed" >&2; exit 1; }

mkdir -p build/logs
total_passed=0
total_failed=0
broken=0
summary=()
started=$SECONDS

for preset in "${presets[@]}"; do
  if [ "$preset" = fuzz ]; then
    echo
    echo "==== fuzz: build, then each target from its seed corpus, fixed runs and seed (scripts/fuzz.sh) ===="
    t0=$SECONDS
    bash scripts/fuzz.sh 2>&1 | tee build/logs/fuzz.log
    if [ "${PIPESTATUS[0]}" -ne 0 ]; then broken=$((broken + 1)); status=FAILED; else status=ok; fi
    last=$(tail -n 1 build/logs/fuzz.log)
    summary+=("fuzz: $status, $((SECONDS - t0))s: ${last#fuzz: }")
    while IFS= read -r line; do summary+=("  $line"); done < <(grep -E '^fuzz: [a-z0-9_-]+: ' build/logs/fuzz.log)
    continue
  fi
  echo
  echo "==== $preset: configure and build ===="
  t0=$SECONDS
  if ! bash scripts/build.sh "$preset" 2>&1 | tee "build/logs/$preset-build.log"; then
    summary+=("$preset: BUILD FAILED after $((SECONDS - t0))s (log: build/logs/$preset-build.log)")
    broken=$((broken + 1))
    continue
  fi
  t1=$SECONDS

  echo
  echo "==== $preset: test ===="
  if [ "$preset" = coverage ]; then
    # The tests, then the figures and their gate.
    bash scripts/coverage.sh 2>&1 | tee "build/logs/$preset-test.log"
  else
    ctest --preset "$preset" 2>&1 | tee "build/logs/$preset-test.log"
  fi
  ctest_rc=${PIPESTATUS[0]}
  t2=$SECONDS

  # "100% tests passed, 0 tests failed out of 57"
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "build/logs/$preset-test.log" | tail -n 1)
  if [[ "$line" =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=${BASH_REMATCH[1]}
    total=${BASH_REMATCH[2]}
    total_failed=$((total_failed + failed))
    total_passed=$((total_passed + total - failed))
  else
    line="no test summary from ctest"
  fi
  if [ "$ctest_rc" -ne 0 ]; then broken=$((broken + 1)); status=FAILED; else status=ok; fi

  # Show what a Windows host sees of the shipping DLL (the test win32_smoke_host
  # checked it; CTest keeps a passing test's output to itself).
  if [ "$preset" = mingw ] && [ -f build/mingw/tests/smoke_host.exe ]; then
    echo
    echo "==== mingw: build/mingw/elasticpull.p loaded by a Windows host under Wine ===="
    scripts/wine-run.sh --prefix="$PWD/build/mingw/wine" build/mingw/tests/smoke_host.exe build/mingw/elasticpull.p ||
      true
  fi
  summary+=("$preset: $status, build $((t1 - t0))s, tests $((t2 - t1))s: $line")
  if [ "$preset" = coverage ]; then
    while IFS= read -r figures; do summary+=("$figures"); done < <(grep '^coverage: ' "build/logs/$preset-test.log")
  fi
done

echo
echo "==== summary ($((SECONDS - started))s in all) ===="
for line in "${summary[@]}"; do echo "test-all: $line"; done
echo "test-all: $total_passed passed, $total_failed failed"
if [ "$broken" -ne 0 ]; then
  echo "test-all: $broken of ${#presets[@]} builds FAILED" >&2
  exit 1
fi
