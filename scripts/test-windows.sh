#!/usr/bin/env bash
# The Windows side, after the Linux build (scripts/test.sh runs it): builds
# the engine, the platform layer, the command line and their tests for
# Windows with MinGW-w64 (preset "windows"), runs the tests under Wine in
# the build's own prefix, and compares the Windows command line's output
# with the Linux build's (build/, preset "default") on the fixture corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh windows
prefix=$PWD/build-windows/wineprefix
# One wineserver for the whole run, so that no program pays for Wine's
# start-up; it ends with the run, and everything of the prefix with it. The
# one the build's test discovery started ends by itself first.
WINEPREFIX=$prefix wineserver -w
WINEPREFIX=$prefix wineserver -p
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true' EXIT
# The prefix's services start with the first program and keep its standard
# streams open for as long as the server runs: start them from a program
# whose streams nobody waits on, not from the first test.
scripts/wine-run.sh "$prefix" cmd /c exit 0 </dev/null >/dev/null 2>&1
ctest --preset windows -j "$(nproc)"
scripts/compare-windows-cli.sh build/cli/quillmend-cli build-windows/cli/quillmend-cli.exe \
  build/tools/quillmend-mkdbx "$prefix"
