#!/bin/sh
# The real program in a virtual X server, sent SIGSEGV from outside while it
# shows a mailbox: the report program beside it opens with the report page
# (the exception and the call stack); once it is closed, the program has
# ended with status 139 (128 + SIGSEGV) and the page is gone again.
# Usage: crash_report_xvfb.sh <quillmend> <quillmend-mkdbx> <screenshot folder>
# Exit 77: tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; shots=${3:?usage}
for tool in xvfb-run xdotool xwd xwdtopnm pnmtopng; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
if [ "${QUILLMEND_IN_XVFB:-}" != 1 ]; then
    QUILLMEND_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
[ -x "$(dirname "$exe")/quillmend-bugreport" ] || { echo "FAIL: no quillmend-bugreport beside $exe"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$shots" "$work/runtime"
chmod 700 "$work/runtime"
"$mkdbx" demo "$work/Inbox.dbx" >/dev/null || exit 1

unset QT_QPA_PLATFORM
XDG_RUNTIME_DIR=$work/runtime "$exe" "$work/Inbox.dbx" &
pid=$!
fail() {
    echo "FAIL: $*"
    kill -9 "$pid" 2>/dev/null
    exit 1
}

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend$' 2>/dev/null | head -n 1)
[ -n "$wid" ] || fail "no window named Quillmend appeared"
sleep 1.5  # the first selection scans the file and fills the list
kill -SEGV "$pid"

rid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend Bug Report$' 2>/dev/null | head -n 1)
[ -n "$rid" ] || fail "the report program did not show up"
sleep 1
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$shots/real_program_crash_report.png" \
    && echo "screen: $shots/real_program_crash_report.png"

page=$(find "$work/runtime" -name bugreport.htm | head -n 1)
[ -n "$page" ] || fail "no report page while the report program runs"
grep -q 'Exception Code:0xc0000005' "$page" || fail "no access-violation code on the page"
grep -q 'CQuillmendApp::InitInstance' "$page" || fail "no frame of the program on the page"
kill -0 "$pid" 2>/dev/null || fail "the program ended before its report program"

xdotool windowfocus "$rid" 2>/dev/null
xdotool key --window "$rid" Escape
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 200 ]; do
    sleep 0.1
    i=$((i + 1))
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after its report program"
wait "$pid"
status=$?
[ "$status" -eq 139 ] || fail "exit status $status, not 139"
[ -z "$(find "$work/runtime" -name bugreport.htm)" ] || fail "the report page was left behind"
echo "reported and ended with $status"
