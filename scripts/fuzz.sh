#!/usr/bin/env bash
# Runs every fuzz program of the "fuzz" build (build-fuzz/fuzz/): first once
# over each file of its seed corpus (fuzz/corpus/<name>/), then on new inputs
# for a bounded time. A program fuzzes for QUILLMEND_FUZZ_SECONDS seconds
# (default 60), or, when it has fuzz/<name>.seconds, for the seconds written
# there, scaled by QUILLMEND_FUZZ_SECONDS/60 (so the renderer keeps its larger
# share in a shorter or longer run). A program may have a dictionary
# (fuzz/<name>.dict) and extra libFuzzer options (fuzz/<name>.options, one
# line). New inputs go to build-fuzz/work/<name>/, inputs that break a
# program to build-fuzz/artifacts/<name>/. Programs run side by side, as
# many at once as QUILLMEND_FUZZ_JOBS (default: the number of cores). Exits
# non-zero if any program failed.
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

# One program's run; its summary line goes to $build/logs/<name>.result.
fuzz_one() {
  local program=$1 name corpus work artifacts log time own runs added
  name=$(basename "$program")
  corpus=fuzz/corpus/$name
  work=$build/work/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  local args=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "-artifact_prefix=$artifacts/")
  [ -f "fuzz/$name.dict" ] && args+=("-dict=fuzz/$name.dict")
  if [ -f "fuzz/$name.options" ]; then
    local extra
    read -r -a extra < "fuzz/$name.options"
    args+=("${extra[@]}")
  fi
  local seeds=()
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
    echo "$name FAILED (see $log and $artifacts/)" >"$build/logs/$name.result"
    return 1
  fi
  runs=$(awk '/^stat::number_of_executed_units:/ { n = $2 } END { print n }' "$log")
  added=$(awk '/^stat::new_units_added:/ { n = $2 } END { print n }' "$log")
  echo "$name: $runs executions, $added new inputs" >"$build/logs/$name.result"
}

# The programs run side by side, one per core (QUILLMEND_FUZZ_JOBS), each
# for its own time: the fuzzing done is the same, the wait shorter.
# The longest first, so that the short ones fill in at the end.
jobs=${QUILLMEND_FUZZ_JOBS:-$(nproc)}
mkdir -p "$build/logs"
mapfile -t longest_first < <(for program in "${programs[@]}"; do
  own=60
  [ -f "fuzz/$(basename "$program").seconds" ] && read -r own < "fuzz/$(basename "$program").seconds"
  echo "$own $program"
done | sort -k1,1nr -k2 | cut -d' ' -f2-)
running=0
for program in "${longest_first[@]}"; do
  rm -f "$build/logs/$(basename "$program").result"
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz_one "$program" &
  running=$((running + 1))
done
wait || true
for program in "${programs[@]}"; do
  name=$(basename "$program")
  result=$(cat "$build/logs/$name.result" 2>/dev/null || echo "$name FAILED (no result)")
  summary+=("$result")
  if [[ $result == *FAILED* ]]; then failed+=("$name"); fi
done

printf '%s\n' "${summary[@]}"
[ ${#failed[@]} -eq 0 ]
