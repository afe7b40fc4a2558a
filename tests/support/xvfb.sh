# Shared by the tests that drive the real program in a virtual X server.
# Sourced by a test script after `set -u`; the program's process id goes in
# $pid, its main window in $wid, screens in the folder $shots.

# xvfb_need <tool>...: skip the test (exit 77) unless every tool is installed.
xvfb_need() {
    for tool; do
        command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
    done
}

# xvfb_enter <WxHxD> <argument>...: run the calling script again inside
# xvfb-run with a screen of that size; returns at once when already inside.
xvfb_enter() {
    screen=$1
    shift
    if [ "${QUILLMEND_IN_XVFB:-}" != 1 ]; then
        QUILLMEND_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 $screen" "$0" "$@"
    fi
    unset QT_QPA_PLATFORM
}

# xvfb_workdir: a scratch folder $work, removed at exit, holding the private
# runtime folder $work/runtime the program writes its preview files into.
xvfb_workdir() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/runtime"
    chmod 700 "$work/runtime"
}

fail() {
    echo "FAIL: $*"
    kill -9 "$pid" 2>/dev/null
    exit 1
}

# wait_main_window: up to 30 s for the program's main window; sets $wid.
wait_main_window() {
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillmend$' 2>/dev/null | head -n 1)
    [ -n "$wid" ] || fail "no window named Quillmend appeared"
}

# wait_until <seconds> <command>...: runs the command every 0.05 s until it
# succeeds; false when it has not within that many seconds.
wait_until() {
    tries=$(($1 * 20))
    shift
    until "$@"; do
        [ "$tries" -gt 0 ] || return 1
        tries=$((tries - 1))
        sleep 0.05
    done
}

# window_named <title>: the id of a visible window of that very title other
# than the main window.
window_named() {
    for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        [ "$w" != "$wid" ] && { echo "$w"; return 0; }
    done
    return 1
}
# wait_for_window <title>: waits up to 10 s for such a window; prints its id.
wait_for_window() {
    wait_until 10 window_named "$1"
}
# wait_gone <seconds> <title>: waits until no such window shows.
window_gone() {
    ! window_named "$1" >/dev/null
}
wait_gone() {
    wait_until "$1" window_gone "$2"
}

# mapped <file>: true once the program has the file mapped (it scans it).
mapped() {
    grep -qF "$1" "/proc/$pid/maps" 2>/dev/null
}

# window_sum <window>: a checksum of what the window shows now.
window_sum() {
    xwd -id "$1" -silent 2>/dev/null | md5sum
}
# wait_settled <window> [<window_sum before>]: waits up to 10 s until the
# window shows more than one colour, other than it showed before when that is
# given, and the same in two captures 0.1 s apart: what was asked of it has
# been painted.
wait_settled() {
    last=
    tries=100
    while [ "$tries" -gt 0 ]; do
        now=$(window_sum "$1")
        if [ "$now" = "$last" ] && [ "$now" != "${2:-}" ] &&
            [ "$(xwd -id "$1" -silent 2>/dev/null | xwdtopnm 2>/dev/null | ppmhist -noheader 2>/dev/null | wc -l)" -gt 1 ]; then
            return 0
        fi
        last=$now
        tries=$((tries - 1))
        sleep 0.1
    done
    return 1
}
# wait_focus <window>: waits up to 5 s until the window has the keyboard.
has_focus() {
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}
wait_focus() {
    wait_until 5 has_focus "$1"
}

# screen_shot <name>: the whole screen as $shots/<name>.png.
screen_shot() {
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$shots/$1.png" && echo "screen: $shots/$1.png"
}

# window_shot <name> <window>: one window as it shows, as $shots/<name>.png.
# Message boxes show black in captures of the whole screen under Xvfb, though
# they are painted; their own capture shows them.
window_shot() {
    xwd -id "$2" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$shots/$1.png" && echo "screen: $shots/$1.png"
}

# wait_ended <what ended it>: up to 20 s for the program to end by itself;
# returns its exit status.
ended() {
    ! kill -0 "$pid" 2>/dev/null
}
wait_ended() {
    wait_until 20 ended || fail "the program did not end after $1"
    wait "$pid"
}
