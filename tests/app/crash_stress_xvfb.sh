#!/bin/bash
# The real program in a virtual X server, crashed again and again: each run
# starts it, waits until its crash guard is armed (its SIGSEGV handler shows
# in /proc), then at a random moment (just armed, idle, scanning a large
# mailbox, showing a preview, with the list's menu open) sends SIGSEGV to one
# of its threads chosen at random. Every time the report window must appear,
# the program must have ended with 139 (its windows and grabs gone), the page
# must wait in the crash's own folder, Escape typed on the keyboard must
# close the report window (no grab of the crashed program may be left), and
# the page and its folder must then be gone.
# Usage: crash_stress_xvfb.sh <quillmend> <quillmend-mkdbx> <send_to_thread> [runs]
# Runs: the argument, else $QUILLMEND_STRESS_RUNS, else 30.
# $QUILLMEND_STRESS_MOMENTS may name fewer moments ("idle menu"). Exit 77:
# tools missing (skipped).
set -u
exe=${1:?usage}; mkdbx=${2:?usage}; send=${3:?usage}
runs=${4:-${QUILLMEND_STRESS_RUNS:-30}}
. "$(dirname "$0")/../support/xvfb.sh"
xvfb_need xvfb-run xdotool
xvfb_enter 1024x768x24 "$@"
[ -x "$(dirname "$exe")/quillmend-bugreport" ] || { echo "FAIL: no quillmend-bugreport beside $exe"; exit 1; }

xvfb_workdir
"$mkdbx" demo "$work/Inbox.dbx" >/dev/null || exit 1
"$mkdbx" bench --size 40M "$work/Large.dbx" >/dev/null || exit 1
private=$work/runtime/quillmend-$(id -u)
exe_path=$(readlink -f "$exe")
read -r -a moments <<<"${QUILLMEND_STRESS_MOMENTS:-armed idle scan preview menu}"
failures=0
pid=

# armed: true once the process runs the program (not the shell that starts
# it, whose own handlers would show) and has a handler for SIGSEGV (bit 11 of
# SigCgt).
armed() {
    local mask
    [ "$(readlink "/proc/$1/exe" 2>/dev/null)" = "$exe_path" ] || return 1
    mask=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$1/status" 2>/dev/null) || return 1
    [ -n "$mask" ] && (( (16#$mask >> 10) & 1 ))
}

# one_run <n>: one start, crash and report; prints a line, returns 1 on a fault.
one_run() {
    local n=$1 moment=${moments[RANDOM % ${#moments[@]}]} file=$work/Inbox.dbx
    [ "$moment" = scan ] && file=$work/Large.dbx
    XDG_RUNTIME_DIR=$work/runtime "$exe" "$file" 2>"$work/stderr" &
    pid=$!
    local i=0
    until armed "$pid"; do
        i=$((i + 1))
        [ $i -lt 3000 ] || { echo "run $n: the crash guard was never armed"; return 1; }
        sleep 0.01
    done
    if [ "$moment" != armed ]; then
        wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend$' 2>/dev/null | head -n 1)
        [ -n "$wid" ] || { echo "run $n: no main window"; return 1; }
        eval "$(xdotool getwindowgeometry --shell "$wid")"
        case $moment in
        idle) sleep "0.$((RANDOM % 10))" ;;
        scan) sleep "0.$((RANDOM % 4))" ;;
        preview)
            wait_until 10 mapped "$file"  # the first file's scan
            xdotool mousemove $((X + 500)) $((Y + 200 + RANDOM % 60)) click 1
            sleep "0.0$((RANDOM % 10))" ;;
        menu)
            wait_until 10 mapped "$file"
            xdotool mousemove $((X + 500)) $((Y + 200)) click 3
            sleep 0.3 ;;
        esac
    fi
    local tids=(/proc/$pid/task/*) target thread
    target=${tids[RANDOM % ${#tids[@]}]##*/}
    thread=$(cat "/proc/$pid/task/$target/comm" 2>/dev/null)
    "$send" "$pid" "$target" 11 || { echo "run $n: could not signal thread $target"; return 1; }
    local what="run $n: $moment, thread $target ($thread)"

    local rid
    rid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend Bug Report$' 2>/dev/null | head -n 1)
    [ -n "$rid" ] || { echo "$what: FAIL no report window"; return 1; }
    # The crashed program is gone before anyone touches the report.
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
    kill -0 "$pid" 2>/dev/null && { echo "$what: FAIL the program still runs beside its report"; return 1; }
    wait "$pid"
    local status=$? page=$private/crash-$pid/bugreport.htm
    pid=
    [ "$status" -eq 139 ] || { echo "$what: FAIL exit status $status"; return 1; }
    [ -f "$page" ] || { echo "$what: FAIL no page in the crash's folder while the report shows"; return 1; }
    grep -q 'Exception Code:0xc0000005' "$page" || { echo "$what: FAIL no access-violation code"; return 1; }

    # Escape as the keyboard sends it (not an event sent to the window, which
    # a grab would not stop).
    local rpid
    rpid=$(xdotool getwindowpid "$rid" 2>/dev/null)
    xdotool windowfocus "$rid" 2>/dev/null
    xdotool key Escape 2>/dev/null
    i=0
    while [ -n "$rpid" ] && kill -0 "$rpid" 2>/dev/null && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
    if [ -n "$rpid" ] && kill -0 "$rpid" 2>/dev/null; then
        kill -9 "$rpid"
        echo "$what: FAIL Escape did not close the report window"
        return 1
    fi
    local left
    left=$(find "$private" -name 'crash-*' -o -name bugreport.htm)
    [ -z "$left" ] || { echo "$what: FAIL left behind: $left"; rm -rf "$private"/crash-*; return 1; }
    echo "$what: reported, ended with 139, report closed and deleted"
}

# close_reports: ends report programs a failed run left open.
close_reports() {
    local w
    for w in $(xdotool search --name '^Quillmend Bug Report$' 2>/dev/null); do
        kill -9 "$(xdotool getwindowpid "$w" 2>/dev/null)" 2>/dev/null
    done
    rm -rf "$private"/crash-*
}

started=$(date +%s)
for n in $(seq 1 "$runs"); do
    if ! one_run "$n"; then
        failures=$((failures + 1))
        [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
        pid=
        sed 's/^/    stderr: /' "$work/stderr" | head -n 20
        close_reports
    fi
done
echo "$runs runs in $(( $(date +%s) - started )) s, $failures failed"
[ "$failures" -eq 0 ]
