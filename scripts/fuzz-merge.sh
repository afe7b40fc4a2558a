#!/usr/bin/env bash
# Minimises the committed corpus of each fuzz program of the "fuzz" build
# (or of the programs named): merges (libFuzzer -merge=1) into a fresh
# directory first the hand-made seeds of fuzz/corpus/<name>/, then the inputs
# the fuzzer found (those committed, named by their SHA-1, and those in
# build-fuzz/work/<name>/ from scripts/fuzz.sh). An input stays only if it
# adds coverage to what came before it; seeds that stay keep their names.
# The fresh directory then replaces fuzz/corpus/<name>/. Commit the result.
# Coverage here means the code's edges, not how often each ran: counting
# loop trips as well keeps six to ten times the inputs (megabytes of mail
# files) for little more reach. QUILLMEND_FUZZ_MERGE_COUNTERS=1 counts them.
#   scripts/fuzz-merge.sh [name ...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz

if [ $# -gt 0 ]; then
  programs=("${@/#/$build/fuzz/}")
else
  mapfile -t programs < <(find "$build/fuzz" -maxdepth 1 -type f -executable | sort)
fi

for program in "${programs[@]}"; do
  name=$(basename "$program")
  corpus=fuzz/corpus/$name
  scratch=$(mktemp -d)
  mkdir "$scratch/seeds" "$scratch/found" "$scratch/fresh"
  for file in "$corpus"/*; do
    [ -f "$file" ] || continue
    if [[ $(basename "$file") =~ ^[0-9a-f]{40}$ ]]; then
      cp "$file" "$scratch/found/"
    else
      cp "$file" "$scratch/seeds/"
    fi
  done
  args=(-rss_limit_mb=2048 -timeout=10 "-use_counters=${QUILLMEND_FUZZ_MERGE_COUNTERS:-0}")
  if [ -f "fuzz/$name.options" ]; then
    read -r -a extra < "fuzz/$name.options"
    args+=("${extra[@]}")
  fi
  work=()
  [ -d "$build/work/$name" ] && work=("$build/work/$name")

  "$program" "${args[@]}" -merge=1 "$scratch/fresh" "$scratch/seeds" >"$scratch/log" 2>&1
  # The merge names its copies by SHA-1: give the seeds their names back.
  for seed in "$scratch/seeds"/*; do
    [ -f "$seed" ] || continue
    copy=$scratch/fresh/$(sha1sum "$seed" | cut -d' ' -f1)
    [ -f "$copy" ] && mv "$copy" "$scratch/fresh/$(basename "$seed")"
  done
  "$program" "${args[@]}" -merge=1 "$scratch/fresh" "$scratch/found" "${work[@]}" >>"$scratch/log" 2>&1

  before=$(find "$corpus" -type f | wc -l)
  dropped=$(comm -23 <(ls "$scratch/seeds" | sort) <(ls "$scratch/fresh" | sort) | tr '\n' ' ')
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp "$scratch/fresh"/* "$corpus/"
  after=$(find "$corpus" -type f | wc -l)
  echo "$name: $before -> $after inputs ($(du -sh "$corpus" | cut -f1)); seeds dropped: ${dropped:-none}"
  rm -rf "$scratch"
done
