#!/bin/sh
# The Search command of the real program in a virtual X server: the settings
# dialog appears over the main window, a folder typed into the drive list is
# searched into the tree (its mailbox in a folder whose Latin-1 name is not
# UTF-8 opens all the same), a typed folder that does not exist is named at
# the end, a search of the drives as offered shows the folder being searched
# and stops at Cancel, and the program still ends cleanly.
# Screens are kept as PNG files.
# Usage: search_xvfb.sh <quillmend> <quillmend-mkdbx> <screenshot folder>
# Exit 77: tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; shots=${3:?usage}
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run xdotool xwininfo xwd xwdtopnm pnmtopng
xvfb_enter 1024x768x24 "$@"

xvfb_workdir
latin=$work/disk/$(printf 'Entw\374rfe')
mkdir -p "$shots" "$work/nowine" "$latin" "$work/disk/Local Settings.old/Identities"
"$mkdbx" demo "$latin/Inbox.dbx" >/dev/null || exit 1
cp "$latin/Inbox.dbx" "$work/disk/Local Settings.old/Identities/Sent Items.DBX"

WINEPREFIX=$work/nowine XDG_RUNTIME_DIR=$work/runtime "$exe" &
pid=$!
# The visible window titled like the search dialogs that is $1 px wide.
search_window() {
    for w in $(xdotool search --onlyvisible --name '^Search for \*\.dbx files$' 2>/dev/null); do
        [ "$(xwininfo -id "$w" | sed -n 's/^ *Width: *//p')" = "$1" ] && { echo "$w"; return 0; }
    done
    return 1
}
wait_for() {  # wait_for <width>: up to 20 s for that search window
    i=0
    while ! search_window "$1" >/dev/null && [ $i -lt 200 ]; do sleep 0.1; i=$((i + 1)); done
    search_window "$1"
}
wait_gone() {  # wait_gone <width>: up to 60 s for that search window to go
    i=0
    while search_window "$1" >/dev/null && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    ! search_window "$1" >/dev/null
}
# A message box of the program over its main window (titled alike).
message_box() {
    for w in $(xdotool search --onlyvisible --name '^Quillmend$' 2>/dev/null); do
        [ "$w" != "$wid" ] && { echo "$w"; return 0; }
    done
    return 1
}
open_settings() {
    xdotool mousemove $((X + 275)) $((Y + 117)) click 1  # Search DBX files...
    sid=$(wait_for 353) || fail "no search settings dialog appeared"
    xdotool windowfocus --sync "$sid" 2>/dev/null || xdotool windowfocus "$sid"
    sleep 0.3
}

wait_main_window
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"

# 1. The settings dialog; a folder typed into the drive list is searched,
# and one that is not there is named at the end.
open_settings
window_shot search_real_setting "$sid"
xdotool key ctrl+a
xdotool type --delay 2 "$work/disk;$work/gone;"
xdotool key Return
wait_gone 353 || fail "the settings dialog did not close on Enter"
wait_gone 411 || fail "the first search did not end"
sleep 0.5
box=$(message_box) || fail "no message named the folder that could not be read"
window_shot search_real_unreadable "$box"
xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
xdotool key Return
sleep 0.5
message_box >/dev/null && fail "the message did not close on Enter"
# The mail file in the Latin-1 folder is open: the program maps its bytes.
grep -qF "$latin/Inbox.dbx" "/proc/$pid/maps" || fail "the mailbox found in $latin was not opened"
# Rows are 18 px high; the store's node comes first. Open the first folder
# the search found and its first file: the found mailbox shows.
xdotool mousemove $((X + 10)) $((Y + 135 + 18 + 9)) click 1
sleep 0.5
xdotool mousemove $((X + 80)) $((Y + 135 + 2 * 18 + 9)) click 1
sleep 1.5
window_shot search_real_tree "$wid"
kill -0 "$pid" 2>/dev/null || fail "the program ended during the search"

# 2. The drives as offered ("/" at least) take a while; the window shows
# where the search is, and Cancel ends it.
open_settings
xdotool key Return
pid_dlg=$(wait_for 411) || fail "no search progress window appeared"
kill -STOP "$pid"  # hold the search still for the picture
window_shot search_real_progress "$pid_dlg"
kill -CONT "$pid"
eval "$(xdotool getwindowgeometry --shell --prefix P_ "$pid_dlg")"
xdotool mousemove $((P_X + 205)) $((P_Y + 126)) click 1  # Cancel
wait_gone 411 || fail "Cancel did not end the search"
kill -0 "$pid" 2>/dev/null || fail "the program ended at Cancel"
sleep 0.5
# A folder it could not read before the Cancel is named too.
if box=$(message_box); then
    xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
    xdotool key Return
fi

# 3. After the search the program ends on Enter as ever.
xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
xdotool key Return
wait_ended Enter || fail "exit status $?"
echo "ended cleanly"
