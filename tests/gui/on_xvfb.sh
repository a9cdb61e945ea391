#!/bin/sh
# Runs one program on an X server of its own, so that it meets real fonts,
# styles and window-system events: Xvfb on the first free display number,
# ended with the program. With --wm, a window manager (openbox) runs there too.
# Usage: on_xvfb.sh [--wm] PROGRAM [ARGS...]
set -u
wm=
if [ "${1-}" = --wm ]; then
    wm=1
    shift
fi
dir=$(mktemp -d) || exit 1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/log" &
server=$!
tries=0
until [ -s "$dir/display" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$server" 2>/dev/null; then
        echo "Xvfb did not start:" >&2
        cat "$dir/log" >&2
        kill "$server" 2>/dev/null
        rm -rf "$dir"
        exit 1
    fi
    sleep 0.1
done
export DISPLAY=":$(cat "$dir/display")"
if [ -n "$wm" ]; then
    openbox --sm-disable >"$dir/wm.log" 2>&1 &
    manager=$!
    tries=0
    # openbox announces itself on the root window before it has finished
    # starting, and a window mapped in between is never managed (it stays
    # unmapped); the work area is published last.
    until xprop -root _NET_WORKAREA 2>/dev/null | grep -q CARDINAL; do
        tries=$((tries + 1))
        [ "$tries" -gt 100 ] && break
        sleep 0.1
    done
fi
QT_QPA_PLATFORM=xcb "$@"
status=$?
[ -n "$wm" ] && kill "$manager"
kill "$server"
wait "$server" 2>/dev/null
rm -rf "$dir"
exit "$status"
