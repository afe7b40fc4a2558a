#!/usr/bin/env bash
# Fault-revert check: do today's tests still catch the faults that were found
# from outside and fixed? Each entry of tests/fault-fixes.txt names a fix:
# a commit, taken back with `git revert` (a 3-way merge) except for its
# changes under tests/ and fuzz/corpus/, or a patch in tests/patches/ that
# takes the fix out of today's code. In a scratch worktree under /tmp (from
# HEAD, reused from entry to entry so that builds are incremental) the fault
# is put back, the entry's preset is built (without the benchmarks, and
# without the desktop program unless the preset is written "<preset>,gui")
# and the entry's tests run. An entry passes when at least
# one test fails: the fault is caught.
#
#   scripts/fault-revert.sh [text]    only the entries whose line holds text
#
# Results: PASS (a test failed), FAIL (every test passed: nothing catches the
# fault; add or sharpen a test), STALE (the fix no longer comes out cleanly,
# or the build breaks without it: give the entry a patch instead). Logs go to
# /tmp/quillmend-fault-revert-logs/<id>.log. Too slow for CI (a build per
# entry, the first one whole); run it after reworking tests. Exit status 0
# when every entry passed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
list=tests/fault-fixes.txt
pattern=${1:-}
scratch=${QUILLMEND_FAULT_SCRATCH:-/tmp/quillmend-fault-revert}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
# Paths relative to the scratch worktree, so that ccache finds what builds
# of other worktrees left.
export CCACHE_BASEDIR=$scratch CCACHE_NOHASHDIR=1

if [ -e "$scratch" ]; then
  git worktree remove --force "$scratch" 2>/dev/null || rm -rf "$scratch"
fi
git worktree prune
git worktree add --detach "$scratch" HEAD >/dev/null || exit 2
trap 'git -C "$root" worktree remove --force "$scratch" >/dev/null 2>&1' EXIT

failed=0
results=()
logs=$scratch-logs
mkdir -p "$logs"
while read -r -u 3 commit preset tests description; do
  [[ -z $commit || $commit == \#* ]] && continue
  [[ -n $pattern && "$commit $preset $tests $description" != *$pattern* ]] && continue
  log=$logs/$commit.log
  # "<preset>,gui": the desktop program's tests are needed too.
  build=${preset%,gui}
  gui=OFF
  [ "$build" != "$preset" ] && gui=ON
  git -C "$scratch" revert --quit >/dev/null 2>&1
  git -C "$scratch" reset -q --hard HEAD
  git -C "$scratch" clean -qfd -e 'build*/'
  # An entry with a patch in tests/patches/ puts its fault back that way:
  # the fix taken out of today's code, where the commit no longer reverts.
  patch=$root/tests/patches/$commit.patch
  if [ -f "$patch" ]; then
    git -C "$scratch" apply --3way "$patch" >"$log" 2>&1
  else
    git -C "$scratch" revert --no-commit "$commit" >"$log" 2>&1
  fi
  # Today's tests stay, whatever the fix's commit did to them.
  git -C "$scratch" checkout HEAD -- tests fuzz/corpus >>"$log" 2>&1
  if git -C "$scratch" diff --name-only --diff-filter=U | grep -q . \
     || git -C "$scratch" diff --quiet HEAD; then
    result=STALE; why="does not revert cleanly"
  elif ! (cd "$scratch" && cmake --preset "$build" -DQUILLMEND_GUI="$gui" -DQUILLMEND_BENCH=OFF >>"$log" 2>&1 \
          && cmake --build --preset "$build" -j "$jobs" >>"$log" 2>&1); then
    result=STALE; why="does not build without the fix"
  elif (cd "$scratch" && QT_QPA_PLATFORM=offscreen ctest --preset "$build" -j "$jobs" \
          -R "$tests" --timeout 300 --no-tests=error >>"$log" 2>&1); then
    result=FAIL; why="every test passed"
  elif grep -q "No tests were found" "$log"; then
    result=STALE; why="no test matches $tests"
  else
    result=PASS; why="$(grep -cE '^\s*[0-9]+ - ' "$log") tests failed"
  fi
  [ "$result" = PASS ] || failed=1
  results+=("$(printf '%-5s %s %-7s %s (%s)' "$result" "$commit" "$preset" "$description" "$why")")
  echo "${results[-1]}"
done 3<"$list"

echo
printf '%s\n' "${results[@]}"
echo "Logs: $logs/<commit>.log"
exit "$failed"
