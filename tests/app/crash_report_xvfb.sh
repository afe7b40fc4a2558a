#!/bin/sh
# The real program in a virtual X server, sent SIGSEGV from outside while it
# shows a mailbox: the report program beside it opens with the report page
# (the exception and the call stack) in the crash's own folder, the program
# itself has ended at once with status 139 (128 + SIGSEGV), and once the
# report window is closed the page and its folder are gone.
# Usage: crash_report_xvfb.sh <quillmend> <quillmend-mkdbx> <screenshot folder>
# Exit 77: tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; shots=${3:?usage}
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run xdotool xwd xwdtopnm pnmtopng
xvfb_enter 1024x768x24 "$@"
[ -x "$(dirname "$exe")/quillmend-bugreport" ] || { echo "FAIL: no quillmend-bugreport beside $exe"; exit 1; }

xvfb_workdir
mkdir -p "$shots"
"$mkdbx" demo "$work/Inbox.dbx" >/dev/null || exit 1

XDG_RUNTIME_DIR=$work/runtime "$exe" "$work/Inbox.dbx" &
pid=$!
wait_main_window
# The first selection scans the file and fills the list.
wait_until 10 mapped "$work/Inbox.dbx" && wait_settled "$wid" || fail "the mailbox was never shown"
kill -SEGV "$pid"

rid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend Bug Report$' 2>/dev/null | head -n 1)
[ -n "$rid" ] || fail "the report program did not show up"
wait_settled "$rid" || fail "the report window was never painted"
screen_shot real_program_crash_report

folder=$work/runtime/quillmend-$(id -u)/crash-$pid
page=$folder/bugreport.htm
[ -f "$page" ] || fail "no report page in $folder while the report program runs"
grep -q 'Exception Code:0xc0000005' "$page" || fail "no access-violation code on the page"
grep -q 'CQuillmendApp::InitInstance' "$page" || fail "no frame of the program on the page"
wait_ended "its report showed"
status=$?
[ "$status" -eq 139 ] || fail "exit status $status, not 139"

rpid=$(xdotool getwindowpid "$rid")
xdotool windowfocus "$rid" 2>/dev/null
xdotool key Escape 2>/dev/null
report_ended() { ! kill -0 "$rpid" 2>/dev/null; }
wait_until 10 report_ended || { kill -9 "$rpid"; fail "Escape did not close the report window"; }
[ ! -e "$folder" ] || fail "the report page or its folder was left behind"
echo "reported, ended with $status, report closed and deleted"
