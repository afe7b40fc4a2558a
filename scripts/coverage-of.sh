#!/usr/bin/env bash
# Line and branch coverage of the libraries from a few test programs only:
# builds just those targets of the "coverage" preset, runs their tests and
# writes gcovr's detailed JSON. Run it before and after reworking a test
# program and compare the two with scripts/coverage-diff.py.
#
#   scripts/coverage-of.sh OUT.json TARGET... [-- CTEST_ARGS...]
#
# Tests of programs that were not built are not found by ctest (or, for the
# desktop programs, fail to start) and add nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1; shift
targets=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do targets+=("$1"); shift; done
[ $# -gt 0 ] && shift
jobs=${QUILLMEND_JOBS:-$(( $(nproc) < 2 ? $(nproc) : 2 ))}
cmake --preset coverage >/dev/null
cmake --build build-coverage -j "$jobs" --target "${targets[@]}"
find build-coverage -name '*.gcda' -delete
ctest --test-dir build-coverage -j "$jobs" --output-on-failure -LE 'stress|large' "$@" || true
libs='^(dbx|platform|render|mailtext|archive|store|search|crash|cli|ui|browse|app)/'
gcovr --root . --object-directory build-coverage --filter "$libs" \
  --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors \
  -j "$jobs" --json "$out" >/dev/null
echo "coverage of ${targets[*]} written to $out"
