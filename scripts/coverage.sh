#!/usr/bin/env bash
# Line and branch coverage of the module and of the stand-in host from the
# whole test suite, after `bash scripts/build.sh coverage`, held to the gate in
# scripts/coverage-gate.txt:
#
#   bash scripts/coverage.sh             clear the counters, run the coverage build's tests, measure
#   bash scripts/coverage.sh --no-tests  measure what the last test run counted
#
# The module (host/, engine/, tool/, panels/, entry/) may not fall below the
# gate's figures (every line; the branches as now), every one of its source
# files must be run by some test, and every branch no test takes must be one
# the gate file lists, with why no test can take it: a new untaken branch
# fails, whatever the figures. The stand-in host (standin/) may not fall below
# its figures in the gate file; when it is above them, the script says which
# line of the gate file to raise (the gate only rises).
#
# Branches the compiler adds for exceptions and on lines without code are left
# out (gcovr's --exclude-throw-branches and --exclude-unreachable-branches);
# nothing in the sources is marked as excluded. Prints the module's tables
# (each file's missing lines, then its missing branches), one `coverage:` line
# for each part, and exits non-zero when a test fails or a gate is not met.
# The reports are kept in build/coverage/coverage/.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

gate=scripts/coverage-gate.txt
build=build/coverage
out=$build/coverage
module_folders=(host engine tool panels entry)
module=()
for folder in "${module_folders[@]}"; do module+=(--filter "$folder/"); done
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

# The module's source files on disk, which must all appear in the report.
module_sources=$(find "${module_folders[@]}" -name '*.cpp' | sort)

python3 - "$gate" "$out" "$module_sources" <<'EOF'
import json, sys

gate_path, out, sources = sys.argv[1], sys.argv[2], sys.argv[3].split()

# The gate file: figures, and the branches no test can take.
figures, listed = {}, {}
for number, raw in enumerate(open(gate_path), 1):
    line = raw.strip()
    if not line or line.startswith("#"):
        continue
    if line.startswith("branch "):
        place, code, which, why = (part.strip() for part in line[len("branch "):].split(" | ", 3))
        path = place.rsplit(":", 1)[0]
        listed[(path, code, int(which.split()[0]))] = (place, why, number)
    else:
        name, value = line.split()
        figures[name] = float(value)

def summary(path):
    s = json.load(open(path))
    text = "lines {:.1f}% ({} of {}), branches {:.1f}% ({} of {})".format(
        s["line_percent"], s["line_covered"], s["line_total"],
        s["branch_percent"], s["branch_covered"], s["branch_total"])
    return s, text

module, module_text = summary(out + "/module.json")
standin, standin_text = summary(out + "/standin.json")
failures, notes = [], []

# The module's figures.
for kind, key in (("lines", "line_percent"), ("branches", "branch_percent")):
    floor = figures["module-" + kind]
    if round(module[key], 1) < floor:
        failures.append("the module's {} at {:.1f}%, below the gate of {:g}%".format(kind, module[key], floor))

# Every branch no test takes is listed, by its file, the code of its line
# and its place among the line's branches (line numbers move as code moves).
report = json.load(open(out + "/all.json"))
reported = set()
untaken = {}
for f in report["files"]:
    path = f["file"]
    reported.add(path)
    if not any(path.startswith(folder + "/") for folder in ("host", "engine", "tool", "panels", "entry")):
        continue
    text = open(path, encoding="utf-8").read().split("\n")
    for line in f["lines"]:
        for index, branch in enumerate(line["branches"], 1):
            if branch["count"] == 0:
                code = text[line["line_number"] - 1].strip()
                untaken[(path, code, index)] = line["line_number"]
for key, line_number in sorted(untaken.items(), key=lambda item: (item[0][0], item[1])):
    if key not in listed:
        failures.append("{}:{}: branch {} of `{}` is taken by no test and not listed in {}".format(
            key[0], line_number, key[2], key[1], gate_path))
for key, (place, why, number) in listed.items():
    if key not in untaken:
        notes.append("{} line {}: {} branch {} is taken now (or its line changed): remove the line".format(
            gate_path, number, place, key[2]))

# Every source file of the module runs in some test.
for source in sources:
    if source not in reported:
        failures.append("{} has no coverage at all: no test runs any of it".format(source))

module_failures = len(failures)

# The stand-in host's figures only rise.
for kind, key in (("lines", "line_percent"), ("branches", "branch_percent")):
    name = "standin-" + kind
    now, floor = round(standin[key], 1), figures[name]
    if now < floor:
        failures.append("the stand-in host's {} at {:.1f}%, below the gate of {:g}%".format(kind, now, floor))
    elif now > floor:
        notes.append("the stand-in host's {} are at {:.1f}%: raise the gate, `{} {:.1f}` in {}".format(
            kind, now, name, now, gate_path))

print()
for note in notes:
    print("coverage: note: " + note)
for failure in failures:
    print("coverage: FAILED: " + failure)
gate_text = "{:g}% lines, {:g}% branches".format
print("coverage: module (host/ engine/ tool/ panels/ entry/) {}: {} the gate of {}, {} listed untaken branches".format(
    module_text, "FAILS" if module_failures else "meets", gate_text(figures["module-lines"], figures["module-branches"]),
    len(listed)))
print("coverage: stand-in host (standin/) {}: {} the gate of {}".format(
    standin_text, "FAILS" if len(failures) > module_failures else "meets",
    gate_text(figures["standin-lines"], figures["standin-branches"])))
sys.exit(1 if failures else 0)
EOF
gate_rc=$?
if [ "$tests_rc" -ne 0 ]; then echo "coverage: some tests FAILED" >&2; exit 1; fi
exit "$gate_rc"
