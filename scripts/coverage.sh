#!/usr/bin/env bash
# Line and branch coverage of the module from the whole test suite, after
# `bash scripts/build.sh coverage`:
#
#   bash scripts/coverage.sh             clear the counters, run the coverage build's tests, measure
#   bash scripts/coverage.sh --no-tests  measure what the last test run counted
#
# The module (host/, engine/, tool/, panels/, entry/) must reach 95% of its lines and
# 90% of its branches; the stand-in host's figures (standin/) are printed too,
# without a gate. Branches the compiler adds for exceptions and on lines
# without code are left out (gcovr's --exclude-throw-branches and
# --exclude-unreachable-branches); nothing in the sources is marked as
# excluded. Prints the module's tables (each file's missing lines, then its
# missing branches), one `coverage:` line for each part, and exits non-zero
# when a test fails or the module is below the gate. The reports are kept in
# build/coverage/coverage/.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly kLineGate=95
readonly kBranchGate=90
build=build/coverage
out=$build/coverage
module=(--filter 'host/' --filter 'engine/' --filter 'tool/' --filter 'panels/' --filter 'entry/')
standin=(--filter 'standin/')

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "coverage: no coverage build in $build (bash scripts/build.sh coverage)" >&2
  exit 1
fi
tests_rc=0
if [ "${1:-}" != --no-tests ]; then
  # Counters add up across runs: the figures are this run's alone.
  find "$build" -name '*.gcda' -delete
  ctest --preset coverage
  tests_rc=$?
fi

mkdir -p "$out"
# gcov once over every counter file; the reports below read its result.
if ! gcovr --root . --object-directory "$build" "${module[@]}" "${standin[@]}" \
  --exclude-throw-branches --exclude-unreachable-branches -j 2 --json "$out/all.json"; then
  echo "coverage: gcovr could not read the counters in $build" >&2
  exit 1
fi
report() { gcovr --root . --add-tracefile "$out/all.json" "$@"; }
report "${module[@]}" --txt "$out/module-lines.txt" --json-summary "$out/module.json"
report "${module[@]}" --branches --txt "$out/module-branches.txt"
report "${standin[@]}" --txt "$out/standin-lines.txt" --json-summary "$out/standin.json"
report "${standin[@]}" --branches --txt "$out/standin-branches.txt"

echo
echo "==== coverage of the module: lines ===="
cat "$out/module-lines.txt"
echo
echo "==== coverage of the module: branches ===="
cat "$out/module-branches.txt"

# "lines 100.0% (695 of 695), branches 95.4% (397 of 416)", and whether the
# figures reach the gate (for the module).
python3 - "$out/module.json" "$out/standin.json" "$kLineGate" "$kBranchGate" <<'EOF'
import json, sys
def figures(path):
    s = json.load(open(path))
    text = "lines {:.1f}% ({} of {}), branches {:.1f}% ({} of {})".format(
        s["line_percent"], s["line_covered"], s["line_total"],
        s["branch_percent"], s["branch_covered"], s["branch_total"])
    return s, text
module, module_text = figures(sys.argv[1])
_, standin_text = figures(sys.argv[2])
line_gate, branch_gate = float(sys.argv[3]), float(sys.argv[4])
below = []
if module["line_percent"] < line_gate: below.append("lines below {:g}%".format(line_gate))
if module["branch_percent"] < branch_gate: below.append("branches below {:g}%".format(branch_gate))
print()
print("coverage: module (host/ engine/ tool/ panels/ entry/) {}: {}".format(
    module_text, "BELOW THE GATE: " + ", ".join(below) if below else
    "at or above the gate of {:g}% lines, {:g}% branches".format(line_gate, branch_gate)))
print("coverage: stand-in host (standin/) {} (not gated; tables in {})".format(
    standin_text, sys.argv[2].rsplit("/", 1)[0]))
sys.exit(1 if below else 0)
EOF
gate_rc=$?
if [ "$tests_rc" -ne 0 ]; then echo "coverage: some tests FAILED" >&2; exit 1; fi
exit "$gate_rc"
