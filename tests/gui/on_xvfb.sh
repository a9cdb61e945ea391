#!/bin/sh
# Runs one test program on an X server of its own, so that it meets real
# fonts, styles and window-system events: Xvfb on the first free display
# number, ended with the program. Usage: on_xvfb.sh PROGRAM [ARGS...]
set -u
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
DISPLAY=":$(cat "$dir/display")" QT_QPA_PLATFORM=xcb "$@"
status=$?
kill "$server"
wait "$server" 2>/dev/null
rm -rf "$dir"
exit "$status"
