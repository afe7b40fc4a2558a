#!/bin/sh
# Stands in for quillmend-bugreport in the crash tests: records that it ran,
# with how many arguments and in which folder (and how far the crashed
# program's CRASH_CHILD_ALIVE file had grown), keeps a copy of the page it
# found there, and only then lets go of the crashed program's output streams,
# so that the test knows it ran once they end. Then it waits until the test
# lets it end ($rec.go, at most 15 s) and says so ($rec.done). It leaves the
# page where it is.
rec=${QUILLMEND_STANDIN_RECORD:?}
{
    echo "args=$#"
    echo "cwd=$(pwd)"
    [ -n "${CRASH_CHILD_ALIVE:-}" ] && echo "alive=$(wc -c <"$CRASH_CHILD_ALIVE")"
} >"$rec.tmp"
cp bugreport.htm "$rec.page"
mv "$rec.tmp" "$rec"
exec >/dev/null 2>&1
i=0
while [ ! -e "$rec.go" ] && [ $i -lt 150 ]; do
    sleep 0.1
    i=$((i + 1))
done
: >"$rec.done"
