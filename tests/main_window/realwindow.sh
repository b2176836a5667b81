#!/bin/sh
# SPDX-License-Identifier: MIT
# Drives the real Tarvelo window under Xvfb with a window manager: types
# 汉字, presses Enter and checks that rows were drawn; then starts a copy
# without its database and checks that only the error box appears.
# Usage: realwindow.sh PATH/TO/Tarvelo SHOT_DIR
set -eu

if [ -z "${TARVELO_IN_XVFB:-}" ]; then
    export TARVELO_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi

app=$1
shots=$2
mkdir -p "$shots"
work=$(mktemp -d)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

openbox >/dev/null 2>&1 &
pids="$pids $!"
sleep 1

"$app" >/dev/null 2>&1 &
app_pid=$!
pids="$pids $app_pid"
win=$(xdotool search --sync --onlyvisible --name '^Tarvelo$' | head -n 1)
sleep 1
size=$(xwininfo -id "$win" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "329x318" ] || { echo "client area is $size, not 329x318"; exit 1; }

# The list area, in window coordinates: where the rows are drawn.
list_mean() {
    import -window "$win" "$work/win.png"
    convert "$work/win.png" -crop 180x40+68+102 -colorspace Gray -format "%[fx:mean]" info:
}
before=$(list_mean)

xdotool mousemove --window "$win" 90 63 click 1
sleep 0.3
xdotool type --delay 80 "汉字"
xdotool key Return
sleep 1
import -window root "$shots/main-after-ok.png"
after=$(list_mean)
echo "list brightness before $before, after $after"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b - 0.005) }' || { echo "no rows were drawn"; exit 1; }

xdotool key Escape
for _ in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.3
done
if kill -0 "$app_pid" 2>/dev/null; then echo "Esc did not end the application"; exit 1; fi
wait "$app_pid" && status=0 || status=$?
[ "$status" -eq 0 ] || { echo "Close ended with status $status"; exit 1; }

# Without its database the program shows one error box and never its window.
cp "$app" "$work/Tarvelo"
"$work/Tarvelo" >/dev/null 2>&1 &
lonely_pid=$!
pids="$pids $lonely_pid"
box=$(xdotool search --sync --onlyvisible --name '^Tarvelo$' | head -n 1)
sleep 0.5
import -window root "$shots/missing-database.png"
box_size=$(xwininfo -id "$box" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$box_size" != "329x318" ] || { echo "the main window appeared without a database"; exit 1; }
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key Return
wait "$lonely_pid" && status=0 || status=$?
[ "$status" -ne 0 ] || { echo "a missing database ended with status 0"; exit 1; }
echo "real window checks passed"
