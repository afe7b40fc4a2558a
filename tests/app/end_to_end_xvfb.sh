#!/bin/sh
# The real program in a virtual X server with a mail file named on its
# command line: the file's e-mails are listed, a click on one shows it in the
# preview, and no preview file is left behind. Screens are kept as PNG files.
# Usage: end_to_end_xvfb.sh <quillmend> <quillmend-mkdbx> <screenshot folder>
# Exit 77: tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; shots=${3:?usage}
for tool in xvfb-run xdotool xwd xwdtopnm pnmtopng; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
if [ "${QUILLMEND_IN_XVFB:-}" != 1 ]; then
    QUILLMEND_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

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
    kill "$pid" 2>/dev/null
    exit 1
}
shot() {
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$shots/$1.png" && echo "screen: $shots/$1.png"
}

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend$' 2>/dev/null | head -n 1)
[ -n "$wid" ] || fail "no window named Quillmend appeared"
sleep 1.5  # the first selection scans the file and fills the list
eval "$(xdotool getwindowgeometry --shell "$wid")"
shot real_program_list

# The fifth row of the list: the list starts 3 px right of the tree (x 203)
# under the 135 px header band, rows 17 px high below the column titles.
xdotool mousemove $((X + 400)) $((Y + 135 + 25 + 4 * 17 + 8)) click 1
sleep 1.5
shot real_program_preview

# The preview file was written, shown and deleted again.
left=$(find "$work/runtime" -name '*.mht' | wc -l)
[ "$left" -eq 0 ] || fail "$left preview file(s) left behind"
written=$(find "$work/runtime" -maxdepth 1 -type d -name 'quillmend-*' | wc -l)
[ "$written" -eq 1 ] || fail "no private folder for preview files"

xdotool windowfocus "$wid" 2>/dev/null
xdotool key --window "$wid" Return
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 200 ]; do
    sleep 0.1
    i=$((i + 1))
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after Enter"
wait "$pid" || fail "exit status $?"
echo "ended cleanly"
