#!/usr/bin/env bash
# Prints the size of the tests against the size of the program: lines of C++
# (every C++ source and header the repository tracks) under tests/, against
# those outside tests/, fuzz/ and bench/. Test helpers kept elsewhere count
# as tests: list them in test_elsewhere below.
#   scripts/test-lines.sh [commit]   (default: the working tree's files)
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-}
cxx='\.(cpp|cc|cxx|c\+\+|h|hh|hpp|hxx|inl|ipp|tpp)$'
test_elsewhere=()

files() {
  if [ -n "$rev" ]; then git ls-tree -r --name-only "$rev"; else git ls-files; fi | grep -E "$cxx" || true
}
lines() {
  local n=0 f
  while IFS= read -r f; do
    if [ -n "$rev" ]; then
      n=$((n + $(git show "$rev:$f" | wc -l)))
    else
      n=$((n + $(wc -l <"$f")))
    fi
  done
  echo "$n"
}
is_test() {
  local f=$1 t
  [[ $f == tests/* ]] && return 0
  for t in "${test_elsewhere[@]}"; do [[ $f == "$t" ]] && return 0; done
  return 1
}

all=$(files)
tests=$(while IFS= read -r f; do if is_test "$f"; then echo "$f"; fi; done <<<"$all")
program=$(while IFS= read -r f; do
  if ! is_test "$f" && [[ $f != fuzz/* && $f != bench/* ]]; then echo "$f"; fi; done <<<"$all")
t=$(lines <<<"$tests")
p=$(lines <<<"$program")
printf 'tests   %6d lines in %4d files\n' "$t" "$(grep -c . <<<"$tests")"
printf 'program %6d lines in %4d files\n' "$p" "$(grep -c . <<<"$program")"
awk -v t="$t" -v p="$p" 'BEGIN { printf "tests/program %.1f %%\n", 100 * t / p }'
echo
echo "tests by folder:"
while IFS= read -r f; do
  d=${f%/*}
  [[ $f == tests/* ]] && d=$(cut -d/ -f1-2 <<<"$f")
  echo "$d $(if [ -n "$rev" ]; then git show "$rev:$f"; else cat "$f"; fi | wc -l)"
done <<<"$tests" | awk '{ n[$1] += $2 } END { for (d in n) printf "  %-16s %6d\n", d, n[d] }' | sort -k2 -rn
