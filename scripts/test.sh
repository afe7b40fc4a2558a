#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds everything and runs
# every test, then the Windows cross build and its tests under Wine with the
# command line compared (scripts/test-windows.sh), then the sanitizer build
# and the fuzzers (scripts/ci-extra.sh; QUILLMEND_FUZZ_SECONDS sets the
# fuzzing time per program, default 60, which a program's
# fuzz/<name>.seconds scales; see scripts/fuzz.sh).
# CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh default
QT_QPA_PLATFORM=offscreen ctest --preset default -j "$(nproc)"
scripts/test-windows.sh
scripts/ci-extra.sh
