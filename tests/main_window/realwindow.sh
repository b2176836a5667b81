#!/bin/sh
# SPDX-License-Identifier: MIT
# Drives the real Tarvelo window under Xvfb with a window manager on a
# screen of SIZE: the window is titled "Tarvelo" and its frame centred;
# 汉字 and Enter draw rows; a failing lookup's box is titled "出错" and a
# rejection's "Tarvelo"; Esc ends it. Then a copy without its database
# shows only its error box.
# Usage: realwindow.sh PATH/TO/Tarvelo SHOT_DIR SIZE
set -eu

. "$(dirname "$0")/../common/xdisplay.sh"
x_display_enter "$3" none "$@"

app=$1
shots=$2/$3
mkdir -p "$shots"
work=$(mktemp -d)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    x_display_stop
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# Within this many pixels of the screen's centre along either axis.
centring_tolerance=3

# Waits for a visible window of process PID other than EXCEPT; prints it.
wait_other_window() {
    pid=$1 except=$2
    for _ in $(seq 50); do
        for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
            [ "$w" = "$except" ] || { echo "$w"; return 0; }
        done
        sleep 0.1
    done
    return 1
}

# Types TEXT into the input box and presses Enter.
enter_text() {
    xdotool mousemove --window "$win" 90 63 click --repeat 3 1
    xdotool key ctrl+a BackSpace
    xdotool type --delay 80 "$1"
    xdotool key Return
}

# Expects a message box titled TITLE after the input TEXT, and answers it.
expect_box() {
    text=$1 title=$2 shot=$3
    enter_text "$text"
    box=$(wait_other_window "$app_pid" "$win") || fail "$text: no message box"
    name=$(xdotool getwindowname "$box")
    echo "after \"$text\": a box titled \"$name\""
    import -window root "$shots/$shot.png"
    [ "$name" = "$title" ] || fail "$text: the box is titled \"$name\", not \"$title\""
    xdotool windowactivate --sync "$box" 2>/dev/null || true
    xdotool key Return
    sleep 0.5
}

"$app" >/dev/null 2>&1 &
app_pid=$!
pids="$pids $app_pid"
win=$(xdotool search --sync --onlyvisible --pid "$app_pid" | head -n 1)
sleep 1
name=$(xdotool getwindowname "$win")
[ "$name" = Tarvelo ] || fail "the main window is titled \"$name\""
size=$(xwininfo -id "$win" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "329x318" ] || fail "client area is $size, not 329x318"
set -- $(x_frame_centre_offset "$win")
echo "frame $(x_frame_geometry "$win") on $(xdpyinfo | awk '/dimensions:/ {print $2}'): centre off by $*"
awk -v o="$1" -v t="$centring_tolerance" 'BEGIN { exit !(o <= t) }' || fail "the frame is not centred"

# The list area, in window coordinates: where the rows are drawn.
list_mean() {
    import -window "$win" "$work/win.png"
    convert "$work/win.png" -crop 180x40+68+102 -colorspace Gray -format "%[fx:mean]" info:
}
before=$(list_mean)
enter_text 汉字
sleep 1
import -window root "$shots/main-after-ok.png"
after=$(list_mean)
echo "list brightness before $before, after $after"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b - 0.005) }' || fail "no rows were drawn"

expect_box 1 出错 lookup-failed
expect_box a Tarvelo rejected

xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key Escape
for _ in $(seq 10); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.3
done
kill -0 "$app_pid" 2>/dev/null && fail "Esc did not end the application"
wait "$app_pid" && status=0 || status=$?
[ "$status" -eq 0 ] || fail "Close ended with status $status"

# Without its database the program shows one error box and never its window.
cp "$app" "$work/Tarvelo"
"$work/Tarvelo" >/dev/null 2>&1 &
lonely_pid=$!
pids="$pids $lonely_pid"
box=$(xdotool search --sync --onlyvisible --pid "$lonely_pid" | head -n 1)
sleep 0.5
import -window root "$shots/missing-database.png"
name=$(xdotool getwindowname "$box")
[ "$name" = Tarvelo ] || fail "the box of a missing database is titled \"$name\""
box_size=$(xwininfo -id "$box" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$box_size" != "329x318" ] || fail "the main window appeared without a database"
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key Return
wait "$lonely_pid" && status=0 || status=$?
[ "$status" -ne 0 ] || fail "a missing database ended with status 0"
echo "real window checks passed"
