#!/bin/sh
# Starts the program in a virtual X server, checks that its main window
# appears at 660 x 560, closes it with Enter (which ends without asking) and
# checks that the process ends with status 0.
# Usage: smoke_xvfb.sh <path of quillmend>. Exit 77: tools missing (skipped).
set -u
exe=${1:?usage: smoke_xvfb.sh <quillmend>}
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run xdotool xwininfo
xvfb_enter 1280x1024x24 "$exe"

"$exe" &
pid=$!
wait_main_window
info=$(xwininfo -id "$wid")
width=$(echo "$info" | sed -n 's/^ *Width: *//p')
height=$(echo "$info" | sed -n 's/^ *Height: *//p')
echo "window $wid: ${width}x${height}"
[ "$width" = 660 ] && [ "$height" = 560 ] || fail "window is ${width}x${height}, not 660x560"

xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
wait_focus "$wid" || fail "the main window never had the keyboard"
xdotool key Return

wait_ended Enter
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "ended cleanly"
