#!/bin/sh
# The real program in a virtual X server, sent SIGSEGV from outside while it
# shows a mailbox: the report program beside it opens with the report page
# (the exception and the call stack); once it is closed, the program has
# ended with status 139 (128 + SIGSEGV) and the page is gone again.
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
sleep 1.5  # the first selection scans the file and fills the list
kill -SEGV "$pid"

rid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend Bug Report$' 2>/dev/null | head -n 1)
[ -n "$rid" ] || fail "the report program did not show up"
sleep 1
screen_shot real_program_crash_report

page=$(find "$work/runtime" -name bugreport.htm | head -n 1)
[ -n "$page" ] || fail "no report page while the report program runs"
grep -q 'Exception Code:0xc0000005' "$page" || fail "no access-violation code on the page"
grep -q 'CQuillmendApp::InitInstance' "$page" || fail "no frame of the program on the page"
kill -0 "$pid" 2>/dev/null || fail "the program ended before its report program"

xdotool windowfocus "$rid" 2>/dev/null
xdotool key --window "$rid" Escape
wait_ended "its report program"
status=$?
[ "$status" -eq 139 ] || fail "exit status $status, not 139"
[ -z "$(find "$work/runtime" -name bugreport.htm)" ] || fail "the report page was left behind"
echo "reported and ended with $status"
