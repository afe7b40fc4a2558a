#!/usr/bin/env bash
# The Windows branches of the Qt-free code must keep compiling: check them
# with the MinGW cross compiler (syntax and types only; nothing is linked).
# Exits 77 (skipped) when no cross compiler is installed.
set -u
src=$1
cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++ || true)
[ -n "$cxx" ] || { echo "no MinGW cross compiler; skipped"; exit 77; }
# One compiler per core: each file is checked on its own.
export cxx src
for f in "$src"/platform/*.cpp "$src"/dbx/*.cpp "$src"/store/*.cpp "$src"/search/*.cpp "$src"/cli/*.cpp; do
  # search/ holds the Qt-free walk and its Qt dialogs: only the walk here.
  grep -q '^#include <Q' "$f" || printf '%s\0' "$f"
done | xargs -0 -r -n 1 -P "$(nproc)" sh -c '
  "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$src" -DQUILLMEND_VERSION="\"0\"" "$1" \
    || { echo "FAILED: $1"; exit 1; }' check || exit 1
