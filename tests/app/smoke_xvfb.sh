#!/bin/sh
# Starts the program in a virtual X server, checks that its main window
# appears at 660 x 560, closes it with Enter (which ends without asking) and
# checks that the process ends with status 0.
# Usage: smoke_xvfb.sh <path of quillmend>. Exit 77: tools missing (skipped).
set -u
exe=${1:?usage: smoke_xvfb.sh <quillmend>}
for tool in xvfb-run xdotool xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done

if [ "${QUILLMEND_IN_XVFB:-}" != 1 ]; then
    QUILLMEND_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$exe"
fi

unset QT_QPA_PLATFORM
"$exe" &
pid=$!
fail() {
    echo "FAIL: $*"
    kill "$pid" 2>/dev/null
    exit 1
}

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend$' 2>/dev/null | head -n 1)
[ -n "$wid" ] || fail "no window named Quillmend appeared"
info=$(xwininfo -id "$wid")
width=$(echo "$info" | sed -n 's/^ *Width: *//p')
height=$(echo "$info" | sed -n 's/^ *Height: *//p')
echo "window $wid: ${width}x${height}"
[ "$width" = 660 ] && [ "$height" = 560 ] || fail "window is ${width}x${height}, not 660x560"

xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
sleep 0.5
xdotool key Return

# Wait up to 20 s for the process to end by itself.
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 200 ]; do
    sleep 0.1
    i=$((i + 1))
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after Enter"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "ended cleanly"
