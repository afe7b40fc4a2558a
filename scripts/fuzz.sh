#!/usr/bin/env bash
# Runs every fuzz program of the "fuzz" build (build-fuzz/fuzz/): first once
# over each file of its seed corpus (fuzz/corpus/<name>/), then on new inputs
# for a bounded time. A program fuzzes for QUILLMEND_FUZZ_SECONDS seconds
# (default 60), or, when it has fuzz/<name>.seconds, for the seconds written
# there, scaled by QUILLMEND_FUZZ_SECONDS/60 (so the renderer keeps its larger
# share in a shorter or longer run). A program may have a dictionary
# (fuzz/<name>.dict) and extra libFuzzer options (fuzz/<name>.options, one
# line). New inputs go to build-fuzz/work/<name>/, inputs that break a
# program to build-fuzz/artifacts/<name>/. Exits non-zero if any program failed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QUILLMEND_FUZZ_SECONDS:-60}
build=build-fuzz
failed=()
summary=()

mapfile -t programs < <(find "$build/fuzz" -maxdepth 1 -type f -executable | sort)
if [ ${#programs[@]} -eq 0 ]; then
  echo "no fuzz programs in $build/fuzz: build the fuzz preset first" >&2
  exit 1
fi

for program in "${programs[@]}"; do
  name=$(basename "$program")
  corpus=fuzz/corpus/$name
  work=$build/work/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  args=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "-artifact_prefix=$artifacts/")
  [ -f "fuzz/$name.dict" ] && args+=("-dict=fuzz/$name.dict")
  if [ -f "fuzz/$name.options" ]; then
    read -r -a extra < "fuzz/$name.options"
    args+=("${extra[@]}")
  fi
  seeds=()
  [ -d "$corpus" ] && seeds=("$corpus")
  time=$seconds
  if [ -f "fuzz/$name.seconds" ]; then
    read -r own < "fuzz/$name.seconds"
    time=$(( own * seconds / 60 ))
    [ "$time" -ge 1 ] || time=1
  fi

  echo "== $name: corpus, then ${time} s"
  if ! { "$program" "${args[@]}" -runs=0 "${seeds[@]}" \
         && "$program" "${args[@]}" -max_total_time="$time" "$work" "${seeds[@]}"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    failed+=("$name")
    summary+=("$name FAILED (see $log and $artifacts/)")
    continue
  fi
  runs=$(awk '/^stat::number_of_executed_units:/ { n = $2 } END { print n }' "$log")
  added=$(awk '/^stat::new_units_added:/ { n = $2 } END { print n }' "$log")
  summary+=("$name: $runs executions, $added new inputs")
done

printf '%s\n' "${summary[@]}"
[ ${#failed[@]} -eq 0 ]
