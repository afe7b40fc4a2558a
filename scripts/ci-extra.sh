#!/usr/bin/env bash
# What CI runs after the normal build and tests (scripts/test.sh calls it):
#   1. the engine, the platform layer, the command line and their tests
#      built at -O3 (preset "release"), as packagers build them: the read
#      guard must hold whatever the optimiser does;
#   2. the same built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (preset "asan");
#   3. the engine built with ThreadSanitizer (preset "tsan"): the fuzz
#      corpora replayed through the scan shared among four threads, and the
#      scan's property test;
#   4. the libFuzzer targets (preset "fuzz", clang), each run over its corpus
#      and then on new inputs for a bounded time (scripts/fuzz.sh);
#   5. the long tests of the default build (label "stress", preset
#      "stress"): the real program crashed 30 times at random moments
#      (QUILLMEND_STRESS_RUNS changes the count; about 4 s a run). They
#      mostly wait on the program under Xvfb, so they run while the fuzzers
#      (which fuzz for a set time) have the cores.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release
ctest --preset release -j "$(nproc)"
scripts/build.sh asan
ctest --preset asan -j "$(nproc)"
scripts/build.sh tsan
ctest --preset tsan -j "$(nproc)"
scripts/build.sh fuzz
stress_log=$(mktemp)
trap 'rm -f "$stress_log"' EXIT
ctest --preset stress >"$stress_log" 2>&1 &
stress=$!
fuzz_status=0
scripts/fuzz.sh || fuzz_status=$?
stress_status=0
wait "$stress" || stress_status=$?
cat "$stress_log"
[ "$fuzz_status" -eq 0 ] && [ "$stress_status" -eq 0 ]
