#!/bin/sh
# The real program in a virtual X server, used as a user uses it, with keys:
# the mail file of the store it lists at start is opened from the tree, two e-mails are
# ticked and saved through the real folder chooser, the report is read, Help
# opens with F1, and Enter ends the program. The two files must be on disk.
# Screens of the tree at start, the help window and the report are kept.
# Usage: save_xvfb.sh <quillmend> <quillmend-mkdbx> <screenshot folder>
# Exit 77: tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; shots=${3:?usage}
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run xdotool xwd xwdtopnm pnmtopng
xvfb_enter 1024x768x24 "$@"

xvfb_workdir
mkdir -p "$shots" "$work/saved"

# Where the program finds its mail at start: the Outlook Express store of a
# Wine prefix made here, as Wine writes its registry files. The registry
# names the store with a variable and in other letter case than the disk.
start_program() {
    prefix=$work/wine
    store="$prefix/drive_c/users/ann/Local Settings/Application Data/Identities/{A1}/Microsoft/Outlook Express"
    mkdir -p "$store" "$prefix/dosdevices"
    ln -s ../drive_c "$prefix/dosdevices/c:"
    "$mkdbx" demo "$store/Inbox.dbx" >/dev/null || exit 1
    cat >"$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000] 1700000000
#time=1da1b2c3d4e5f60
"ProfileImagePath"="C:\\users\\ann"
REG
    cat >"$prefix/user.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Identities] 1700000000
#time=1da1b2c3d4e5f60
"Default User ID"="{A1}"

[Identities\\{A1}\\Software\\Microsoft\\Outlook Express\\5.0] 1700000000
#time=1da1b2c3d4e5f60
"Store Root"=str(2):"%UserProfile%\\local settings\\APPLICATION DATA\\identities\\{A1}\\microsoft\\outlook express"
REG
    WINEPREFIX=$prefix XDG_RUNTIME_DIR=$work/runtime "$exe" &
    pid=$!
}

start_program

wait_main_window
wait_settled "$wid" || fail "the main window was never painted"
eval "$(xdotool getwindowgeometry --shell "$wid")"
screen_shot real_save_tree_at_start

# The tree (x 1..199 under the 135 px header band): its first node, the
# store's "Outlook Express - Local Folder", then Down to the first mail file
# under it, which lists its e-mails.
before=$(window_sum "$wid")
xdotool mousemove $((X + 60)) $((Y + 135 + 8)) click 1
xdotool key Down
wait_until 10 mapped "$store/Inbox.dbx" && wait_settled "$wid" "$before" || fail "Down selected no mail file"
# The list: click the first row's text, then tick it and the next with Space.
xdotool mousemove $((X + 400)) $((Y + 135 + 25 + 8)) click 1
before=$(window_sum "$wid")
xdotool key space Down space
wait_settled "$wid" "$before" || fail "Space ticked nothing"
screen_shot real_save_ticked

# Save (Alt+S), then the folder typed into the chooser.
xdotool key alt+s
chooser=$(wait_for_window 'Select a folder to store the selected emails.') || fail "no folder chooser"
wait_focus "$chooser" && wait_settled "$chooser" || fail "the folder chooser never took the keyboard"
xdotool type --delay 20 "$work/saved"
xdotool key Return
# The completer's list may take the first Return.
wait_gone 1 'Select a folder to store the selected emails.' || xdotool key Return

report=$(wait_for_window Quillmend) || fail "no message after saving"
wait_settled "$report" || fail "the message was never painted"
window_shot real_save_report "$report"
saved=$(find "$work/saved" -name '*.eml' | wc -l)
[ "$saved" -eq 2 ] || fail "$saved e-mail files saved, not 2"
xdotool key Return
wait_gone 5 Quillmend || fail "Enter left the message open"

# F1 opens the help window; Esc closes it.
xdotool mousemove $((X + 400)) $((Y + 135 + 25 + 8)) click 1
xdotool key F1
help=$(wait_for_window 'Quillmend Help') || fail "F1 opened no help window"
wait_settled "$help" || fail "the help window was never painted"
screen_shot real_help_window
xdotool key Escape
wait_gone 5 'Quillmend Help' || fail "Esc left the help window open"

xdotool windowfocus "$wid" 2>/dev/null
xdotool key Return
wait_ended Enter || fail "exit status $?"
echo "saved $saved e-mails; ended cleanly"
