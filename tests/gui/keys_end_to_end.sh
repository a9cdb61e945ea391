#!/bin/sh
# The built program driven by real key presses on an X server, as a user
# would: started on a folder with an empty settings store, the folder to match
# typed into the folder dialog; copy all to the other folder over one file,
# compare a pair (Ctrl+D), rename, delete a read-only file to the Trash and
# undo that, show only differences, exit from the menu. Then the folders are
# compared byte for byte with what those commands should leave, and the
# settings file must hold every key.
# Usage (on its own X server with a window manager), SHOTS=folder to keep a
# numbered screenshot of each step for people to look at (ImageMagick's import):
#   tests/gui/on_xvfb.sh --wm tests/gui/keys_end_to_end.sh build/src/duoscope
set -u
program=$(realpath "$1")
t=$(mktemp -d)
trap '[ -n "${pid-}" ] && kill "$pid" 2>/dev/null; rm -rf "$t"' EXIT
shots=0
shot() { [ -z "${SHOTS-}" ] || import -window root "$SHOTS/$((shots += 1))-$1.png"; }
# Each wait is on a condition, with one deadline for the whole run (inside
# ctest's limit): a loaded machine may be slow at any step. A failure names
# the step it came at.
deadline=$(($(date +%s) + ${E2E_SECONDS-270}))
step="start on one folder"
fail() {
    echo "FAIL at step \"$step\": $*" >&2
    for w in $(shown); do xdotool getwindowname "$w" >&2; done
    exit 1
}
until_true() {
    until eval "$1"; do
        [ "$(date +%s)" -ge "$deadline" ] && fail "timed out waiting for: $1"
        sleep 0.1
    done
}
# The program's shown windows that the window manager handles: not popups
# such as a completion list or a tooltip.
shown() {
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: no' && echo "$w"
    done
}
# A shown window of the program other than the main one and than $1.
other() { shown | grep -vx -e "$main" -e "$1" | head -n 1; }
# Waits for a new dialog, after the one in $1, and brings it to the front.
dialog() {
    until_true 'box=$(other "$1") && [ -n "$box" ]'
    shot dialog
    xdotool windowactivate --sync "$box"
}
# Answers the next dialog with the text $2 (if any) in place of its own,
# then the keys $3...: what comes before the dialog has taken the focus is
# lost, so it is pressed again while the dialog stays.
answer() {
    dialog "$1"
    text=$2
    shift 2
    while shown | grep -qx "$box"; do
        [ "$(date +%s)" -ge "$deadline" ] && fail "the dialog does not take ${text:+$text then }$*"
        [ -z "$text" ] || xdotool windowactivate --sync "$box" key ctrl+a type "$text" 2>/dev/null
        xdotool windowactivate --sync "$box" key --clearmodifiers "$@" 2>/dev/null
        n=0
        while [ $((n += 1)) -lt 30 ] && shown | grep -qx "$box"; do sleep 0.1; done
    done
}
# Keys to the main window once it has the focus.
press() {
    xdotool windowactivate --sync "$main"
    until_true '[ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ]'
    xdotool key "$@"
}

mkdir -p -m 700 "$t/run"
mkdir -p "$t/home" "$t/src" "$t/dst" "$t/want" "$t/bin"
# Opening a file must not start anything on the machine running the tests.
printf '#!/bin/sh\necho "$@" >>"%s/opened"\n' "$t" >"$t/bin/xdg-open"
chmod +x "$t/bin/xdg-open"
printf 'alpha\n' >"$t/src/a.txt"
head -c 70000 /dev/urandom >"$t/src/b.bin"
printf 'gamma\n' >"$t/src/c.txt"
printf 'old b\n' >"$t/dst/b.bin"
printf 'zulu\n' >"$t/dst/z.txt"
chmod 444 "$t/dst/z.txt"
cp -p "$t/src/b.bin" "$t/src/c.txt" "$t/want/"
cp -p "$t/src/a.txt" "$t/want/renamed.txt"
cp -p "$t/dst/z.txt" "$t/want/"
cp -rp "$t/src" "$t/src.orig"

cd "$t/home" || exit 1
# No session bus: one started on demand for the X display can stall the start.
env -u TEMP DBUS_SESSION_BUS_ADDRESS="unix:path=$t/no-bus" PATH="$t/bin:$PATH" HOME="$t/home" XDG_CONFIG_HOME="$t/home/config" XDG_DATA_HOME="$t/home/data" \
    XDG_RUNTIME_DIR="$t/run" "$program" "$t/src" &
pid=$!

main=none
step="the folder to match typed into the folder dialog, which comes first"
answer none "$t/dst" Return
step="the main window, the one left after the folder dialog"
until_true 'main=$(shown) && [ -n "$main" ] && [ "$(echo "$main" | wc -l)" -eq 1 ] && [ "$main" != "$box" ]'
shot started
xdotool windowactivate --sync "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"

step="copy every Source file, paste into Destination: b.bin is asked about (Yes)"
xdotool mousemove --window "$main" $((WIDTH / 4)) $((HEIGHT / 2)) click 1
press F5 Home ctrl+a ctrl+c
xdotool mousemove --window "$main" $((WIDTH * 3 / 4)) $((HEIGHT / 2)) click 1
press ctrl+v
answer none "" Return
until_true 'cmp -s "$t/dst/b.bin" "$t/src/b.bin" && [ -f "$t/dst/c.txt" ]'
until_true '[ -z "$(other none)" ]'

step="Compare Files (Ctrl+D) on b.bin, both sides now: its window names both; Esc closes it"
press Home Down ctrl+d
dialog none
xdotool getwindowname "$box" | grep -q "/src/b.bin .*/dst/b.bin" || fail "no comparison of b.bin"
xdotool key Escape
until_true '[ -z "$(other none)" ]'

step="rename the first row, a.txt, in place (F2)"
press Home F2
xdotool type renamed.txt
shot rename
xdotool key Return
until_true '[ -f "$t/dst/renamed.txt" ]'

step="delete the last row, z.txt (No unless told), read-only so asked again"
press End Delete
answer none "" alt+y
answer "$box" "" Return
until_true '[ ! -e "$t/dst/z.txt" ]'
[ -f "$t/home/data/Trash/files/z.txt" ] || fail "z.txt did not go to the Trash"
step="Undo (Ctrl+Z) brings z.txt back from the Trash, mode and all"
press ctrl+z
until_true '[ -e "$t/dst/z.txt" ]'
until_true '[ -z "$(other none)" ]'

step="Show Only Differences (Ctrl+Shift+D), kept for the next start; exit from the menu"
press ctrl+shift+d
press alt+f x
until_true '! kill -0 "$pid" 2>/dev/null'
wait "$pid" || fail "exit status $?"
step="the folders and settings left"
diff -r "$t/src.orig" "$t/src" || fail "the Source folder changed"
diff -r "$t/want" "$t/dst" || fail "the Destination folder is not as expected"
keys=$(grep -c '^[A-Za-z0-9]*=' "$t/home/config/Zelmar/Duoscope.ini")
[ "$keys" -eq 33 ] || fail "the settings hold $keys keys, not 33"
grep -qx 'OnlyDifferences=1' "$t/home/config/Zelmar/Duoscope.ini" || fail "Ctrl+Shift+D not kept"
echo "end to end: all steps done"
