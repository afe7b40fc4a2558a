#!/usr/bin/env bash
# Runs a Windows program under Wine:  wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The cross build's tests and tools come through here (the toolchain file
# names it as the emulator). PREFIX is made on first use, under a lock since
# tests start in parallel, with no Mono or Gecko installer offered. Start
# "wineserver -p" in that prefix before a long run (scripts/test-windows.sh
# does) so that each program does not pay for Wine's start-up.
set -eu
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
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
      # A program that faults ends at once with its exception code, as
      # Windows ends it without a debugger, instead of waiting in winedbg.
      wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
      touch "$prefix/.made"
    fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
