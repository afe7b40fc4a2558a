#!/bin/sh
# Stands in for quillmend-bugreport in the crash tests: records that it ran,
# with how many arguments and in which folder, and keeps a copy of the page
# it found there.
rec=${QUILLMEND_STANDIN_RECORD:?}
{
    echo "args=$#"
    echo "cwd=$(pwd)"
} >"$rec"
cp bugreport.htm "$rec.page" 2>/dev/null
exit 0
