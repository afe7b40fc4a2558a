#!/bin/sh
# The real program in a virtual X server with a mail file named on its
# command line, in a folder whose name is Latin-1, not UTF-8: that very file
# is opened, its e-mails are listed, a click on one shows it in the preview,
# and no preview file is left behind. Screens are kept as PNG files.
# Usage: end_to_end_xvfb.sh <quillmend> <quillmend-mkdbx> <screenshot folder>
# Exit 77: tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; shots=${3:?usage}
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run xdotool xwd xwdtopnm pnmtopng
xvfb_enter 1024x768x24 "$@"

xvfb_workdir
mkdir -p "$shots"
folder=$work/$(printf 'Entw\374rfe')
mkdir "$folder"
"$mkdbx" demo "$folder/Inbox.dbx" >/dev/null || exit 1

XDG_RUNTIME_DIR=$work/runtime "$exe" "$folder/Inbox.dbx" &
pid=$!
wait_main_window
# The program maps the mail file it opened: the name's own bytes. Its
# first selection scans it and fills the list.
wait_until 10 mapped "$folder/Inbox.dbx" || fail "the file named on the command line was not opened"
wait_settled "$wid" || fail "the main window was never painted"
eval "$(xdotool getwindowgeometry --shell "$wid")"
screen_shot real_program_list

# The fifth row of the list: the list starts 3 px right of the tree (x 203)
# under the 135 px header band, rows 17 px high below the column titles.
before=$(window_sum "$wid")
xdotool mousemove $((X + 400)) $((Y + 135 + 25 + 4 * 17 + 8)) click 1
wait_settled "$wid" "$before" || fail "a click on an e-mail changed nothing"
screen_shot real_program_preview

# The preview file was written, shown and deleted again.
left=$(find "$work/runtime" -name '*.mht' | wc -l)
[ "$left" -eq 0 ] || fail "$left preview file(s) left behind"
written=$(find "$work/runtime" -maxdepth 1 -type d -name 'quillmend-*' | wc -l)
[ "$written" -eq 1 ] || fail "no private folder for preview files"

xdotool windowfocus "$wid" 2>/dev/null
xdotool key --window "$wid" Return
wait_ended Enter || fail "exit status $?"
echo "ended cleanly"
