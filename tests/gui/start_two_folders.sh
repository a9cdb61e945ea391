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
# The first shown window of the program whose title matches $1, waited for
# up to a minute (a loaded machine starts slowly).
window() { timeout 60 xdotool search --all --sync --onlyvisible --pid "$pid" --name "$1" | head -n 1; }

mkdir -p -m 700 "$t/run"
mkdir -p "$t/home" "$t/work/A" "$t/work/B"
printf 'left\n' >"$t/work/A/pair.txt"
printf 'right\n' >"$t/work/B/pair.txt"
cd "$t/work" || exit 1
env -u TEMP DBUS_SESSION_BUS_ADDRESS="unix:path=$t/no-bus" HOME="$t/home" \
    XDG_CONFIG_HOME="$t/home/config" XDG_DATA_HOME="$t/home/data" XDG_RUNTIME_DIR="$t/run" \
    "$program" A B &
pid=$!

# The first window must be the main one (maximised, no settings): a message
# or a folder dialog, which would come before it, is smaller.
main=$(window '^Duoscope$')
[ -n "$main" ] || fail "no window"
eval "$(xdotool getwindowgeometry --shell "$main")"
[ "$WIDTH" -gt 640 ] || fail "a dialog came first: ${WIDTH}x$HEIGHT"
xdotool windowactivate --sync "$main"
xdotool mousemove --window "$main" $((WIDTH / 4)) $((HEIGHT / 2)) click 1
xdotool key Home ctrl+d
view=$(window pair.txt)
title=$(xdotool getwindowname "$view")
echo "$title" | grep -q "^$t/work/A/pair.txt .* $t/work/B/pair.txt$" ||
    fail "not the two folders' pair: $title"
[ -n "${SHOTS-}" ] && import -window root "$SHOTS/two-folders.png"
xdotool key Escape
xdotool windowactivate --sync "$main" key alt+f x
wait "$pid" || fail "exit status $?"
settings="$t/home/config/Zelmar/Duoscope.ini"
grep -qx "Source=$t/work/A" "$settings" || fail "Source not kept absolute: $(grep Source= "$settings")"
grep -qx "Destination=$t/work/B" "$settings" || fail "Destination not kept absolute"
echo "started on two folders: all steps done"
