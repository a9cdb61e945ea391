#!/bin/sh
# The built program started as a user starts it from a shell: `duoscope A B`,
# two relative folders, from the folder that holds them, with no settings.
# No dialog may come: the window opens on both folders at once, a pair on its
# first row (Ctrl+D names both files), and the settings keep both folders as
# absolute paths.
# Usage (on its own X server with a window manager):
#   tests/gui/on_xvfb.sh --wm tests/gui/start_two_folders.sh build/src/duoscope
set -u
program=$(realpath "$1")
t=$(mktemp -d)
trap '[ -n "${pid-}" ] && kill "$pid" 2>/dev/null; rm -rf "$t"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Polls a shell condition for up to 60 s: a loaded machine starts slowly.
wait_for() {
    n=0
    while ! eval "$1"; do
        [ $((n += 1)) -gt 600 ] && fail "timed out waiting for: $1"
        sleep 0.1
    done
}
# The program's windows that the window manager handles (no popups).
windows() {
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: no' && echo "$w"
    done
}

mkdir -p -m 700 "$t/run"
mkdir -p "$t/home" "$t/work/A" "$t/work/B"
printf 'left\n' >"$t/work/A/pair.txt"
printf 'right\n' >"$t/work/B/pair.txt"
cd "$t/work" || exit 1
env -u TEMP DBUS_SESSION_BUS_ADDRESS="unix:path=$t/no-bus" HOME="$t/home" \
    XDG_CONFIG_HOME="$t/home/config" XDG_DATA_HOME="$t/home/data" XDG_RUNTIME_DIR="$t/run" \
    "$program" A B &
pid=$!

# The first window must be the main one (maximised, no settings), alone:
# a message or a folder dialog, which come before it, would be smaller.
wait_for 'main=$(windows) && [ -n "$main" ]'
eval "$(xdotool getwindowgeometry --shell "$main")"
[ "$(echo "$main" | wc -l)" -eq 1 ] && [ "$WIDTH" -gt 640 ] ||
    fail "a dialog came first: $(xdotool getwindowname "$main") ${WIDTH}x$HEIGHT"
xdotool windowactivate --sync "$main"
xdotool mousemove --window "$main" $((WIDTH / 4)) $((HEIGHT / 2)) click 1
xdotool key Home ctrl+d
wait_for 'view=$(windows | grep -vx "$main") && [ -n "$view" ]'
xdotool getwindowname "$view" | grep -q "^$t/work/A/pair.txt .* $t/work/B/pair.txt$" ||
    fail "not the two folders' pair: $(xdotool getwindowname "$view")"
xdotool key Escape
wait_for '[ -z "$(windows | grep -vx "$main")" ]'
[ -n "${SHOTS-}" ] && import -window root "$SHOTS/two-folders.png"
xdotool windowactivate --sync "$main" key alt+f x
wait_for '! kill -0 "$pid" 2>/dev/null'
wait "$pid" || fail "exit status $?"
settings="$t/home/config/Zelmar/Duoscope.ini"
grep -qx "Source=$t/work/A" "$settings" || fail "Source not kept absolute: $(grep Source= "$settings")"
grep -qx "Destination=$t/work/B" "$settings" || fail "Destination not kept absolute"
echo "started on two folders: all steps done"
