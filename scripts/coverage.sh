#!/usr/bin/env bash
# Builds the "coverage" preset (gcov, -O0), runs the default test set on it
# and prints two tables: line and branch coverage of each library, and the
# time each test program took (summed over its test cases, from ctest's own
# timing). Branches that only C++ exceptions take, and those the compiler
# marks unreachable, are left out of the branch count. Counters are not
# atomic: a line that threads ran at once may read as a negative count,
# which gcov prints and gcovr then skips. Run as root, the find test that
# runs the command line as another user fails here: that user cannot write
# the counts, and the program's runtime says so on its standard error.
#
#   scripts/coverage.sh [ctest arguments...]   e.g. -R Store to run a subset
#
# QUILLMEND_COVERAGE_OUT names a folder for the raw results (default
# build-coverage/report): summary.json (gcovr), junit.xml (ctest), and the
# two tables in coverage.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gcovr >/dev/null || scripts/setup-debian.sh
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
out=${QUILLMEND_COVERAGE_OUT:-build-coverage/report}

scripts/build.sh coverage
mkdir -p "$out"
out=$(cd "$out" && pwd)
# Counters of an earlier run would add to this one's.
find build-coverage -name '*.gcda' -delete

# A failing test still leaves its counts; the table is printed either way
# and the script's status says whether the tests passed.
status=0
ctest --preset coverage -j "$jobs" --output-junit "$out/junit.xml" "$@" || status=$?

libs=(dbx platform render mailtext archive store search crash cli ui browse app)
filters=()
for lib in "${libs[@]}"; do filters+=(--filter "^$lib/"); done
gcovr --root . --object-directory build-coverage "${filters[@]}" \
  --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors \
  -j "$jobs" --json-summary "$out/summary.json" --json-summary-pretty >/dev/null

python3 - "$out" "${libs[@]}" <<'EOF' | tee "$out/coverage.txt"
import json, os, sys, xml.etree.ElementTree as ET
out, libs = sys.argv[1], sys.argv[2:]

totals = {lib: [0, 0, 0, 0] for lib in libs}
for f in json.load(open(os.path.join(out, 'summary.json')))['files']:
    lib = f['filename'].split('/', 1)[0]
    if lib in totals:
        t = totals[lib]
        t[0] += f['line_covered']; t[1] += f['line_total']
        t[2] += f['branch_covered']; t[3] += f['branch_total']

def pct(a, b):
    return f"{100.0 * a / b:6.1f}%" if b else "     -"

print(f"{'library':<10} {'lines':>15} {'line%':>7} {'branches':>15} {'branch%':>7}")
for lib in libs:
    lc, lt, bc, bt = totals[lib]
    print(f"{lib:<10} {f'{lc}/{lt}':>15} {pct(lc, lt):>7} {f'{bc}/{bt}':>15} {pct(bc, bt):>7}")

EOF
echo
scripts/test-times.py build-coverage "$out/junit.xml" | tee -a "$out/coverage.txt"
exit "$status"
