#!/usr/bin/env bash
# Runs a Windows program under Wine:  wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The cross build's tests and tools come through here (the toolchain file
# names it as the emulator). PREFIX is made on first use, under a lock since
# tests start in parallel. Start "wineserver -p" in that prefix before a
# long run (scripts/test-windows.sh does) so that each program does not pay
# for Wine's start-up.
set -eu
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer offered; no debugger started for a program
# that faults (winedbg now and then hangs there): it ends at once with its
# exception code, as on Windows without a debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
if ! command -v wine >/dev/null; then
  echo "wine-run.sh: Wine is not installed (Debian: apt-get install wine wine64)" >&2
  exit 127
fi
if [ ! -e "$prefix/.made" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -e "$prefix/.made" ]; then
      wineboot -i >/dev/null 2>&1
      touch "$prefix/.made"
    fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
