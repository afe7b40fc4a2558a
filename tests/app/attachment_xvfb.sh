#!/bin/sh
# The real program in a virtual X server, used as a user saves an attachment:
# an e-mail with one is clicked in the list, the preview gets the focus, Tab
# reaches the attachment's name and Enter opens the real save dialog, which
# offers the attachment's own name; a folder is typed and the file written.
# Its bytes must be those sent, and those the command line saves. Screens
# of the dialog and the report are kept.
# Usage: attachment_xvfb.sh <quillmend> <quillmend-mkdbx> <quillmend-cli> <screenshot folder>
# Exit 77: tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; cli=${3:?usage}; shots=${4:?usage}
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run xdotool xwd xwdtopnm pnmtopng
xvfb_enter 1024x768x24 "$@"

xvfb_workdir
mkdir -p "$shots" "$work/saved" "$work/reference"
"$mkdbx" demo "$work/Inbox.dbx" >/dev/null || exit 1
# E-mail 8 of the demo carries one file, Q4-2007.xls; the command line
# saves it for comparison.
"$cli" attachments "$work/Inbox.dbx" --index 8 --save "$work/reference" >/dev/null || exit 1
[ -f "$work/reference/Q4-2007.xls" ] || { echo "FAIL: the command line saved no Q4-2007.xls"; exit 1; }
# Both must be the sender's bytes: the e-mail's Base64 decoded by base64(1).
"$cli" cat "$work/Inbox.dbx" 8 | tr -d '\r' | awk '/filename="Q4-2007.xls"/ {p = 1; next} p && /^--/ {exit} p' |
    base64 -d >"$work/sent.xls" || exit 1
cmp -s "$work/sent.xls" "$work/reference/Q4-2007.xls" || { echo "FAIL: the command line's file is not the one sent"; exit 1; }

XDG_RUNTIME_DIR=$work/runtime "$exe" "$work/Inbox.dbx" &
pid=$!
wait_main_window
wait_until 10 mapped "$work/Inbox.dbx" && wait_settled "$wid" || fail "the mailbox was never shown"
eval "$(xdotool getwindowgeometry --shell "$wid")"
# The ninth row of the list (x 203.. under the 135 px band, 17 px rows
# below the titles), then a click in the preview below it, on no link.
before=$(window_sum "$wid")
xdotool mousemove $((X + 400)) $((Y + 135 + 25 + 8 * 17 + 8)) click 1
wait_settled "$wid" "$before" || fail "a click on the e-mail changed nothing"
xdotool mousemove $((X + 600)) $((Y + HEIGHT - 40)) click 1
before=$(window_sum "$wid")
xdotool key Tab
wait_settled "$wid" "$before" || fail "Tab reached nothing in the preview"
screen_shot real_attachment_focused
xdotool key Return
dialog=$(wait_for_window 'Save the attachment') || fail "Enter on the attachment opened no save dialog"
wait_focus "$dialog" && wait_settled "$dialog" || fail "the save dialog never took the keyboard"
window_shot real_attachment_dialog "$dialog"
# The dialog offers the attachment's own name: replace it by a full path.
xdotool key ctrl+a
xdotool type --delay 20 "$work/saved/Q4-2007.xls"
xdotool key Return
# The completer's list may take the first Return.
wait_gone 1 'Save the attachment' || xdotool key Return

report=$(wait_for_window Quillmend) || fail "no message after saving"
wait_settled "$report" || fail "the message was never painted"
window_shot real_attachment_report "$report"
[ -f "$work/saved/Q4-2007.xls" ] || fail "no Q4-2007.xls saved: $(ls "$work/saved")"
cmp -s "$work/saved/Q4-2007.xls" "$work/reference/Q4-2007.xls" || fail "the saved file differs from the command line's"
mode=$(stat -c %a "$work/saved/Q4-2007.xls")
case $mode in *[1357]*) fail "the saved file may be run: mode $mode" ;; esac
xdotool key Return
wait_gone 5 Quillmend || fail "Enter left the message open"

# Enter on the attachment's link would save it again: the list gets the
# focus back, and there Enter ends the program.
xdotool mousemove $((X + 400)) $((Y + 135 + 25 + 8 * 17 + 8)) click 1
wait_settled "$wid"
xdotool key Return
wait_ended Enter || fail "exit status $?"
echo "saved Q4-2007.xls through the dialog, byte for byte; ended cleanly"
