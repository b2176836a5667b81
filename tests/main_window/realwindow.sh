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
x_display_enter "$3" none

app=$1
shots=$2/$3
mkdir -p "$shots"

# Within this many pixels of the screen's centre along either axis.
centring_tolerance=3

# Expects a message box titled TITLE after the input TEXT, and answers it.
expect_box() {
    text=$1 title=$2 shot=$3
    enter_text "$win" "$text"
    box=$(x_wait_window "" "$win") || fail "$text: no message box"
    name=$(xdotool getwindowname "$box")
    echo "after \"$text\": a box titled \"$name\""
    import -window root "$shots/$shot.png"
    [ "$name" = "$title" ] || fail "$text: the box is titled \"$name\", not \"$title\""
    x_focus "$box" || fail "$text: the box did not take the focus"
    xdotool key Return
    x_wait_gone "$box" || fail "$text: Return left the box open"
    x_focus "$win" || fail "$text: the main window did not take the focus back"
}

x_open "$app" . /dev/null "" || fail "no window appeared and took the focus"
win=$APP_WINDOW
name=$(xdotool getwindowname "$win")
[ "$name" = Tarvelo ] || fail "the main window is titled \"$name\""
size=$(x_size "$win")
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
enter_text "$win" 汉字
# Drawn within a second, or a few on a busy machine.
for _ in $(seq 20); do
    sleep 0.5
    after=$(list_mean)
    ! awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b - 0.005) }' || break
done
import -window root "$shots/main-after-ok.png"
echo "list brightness before $before, after $after"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b - 0.005) }' || fail "the rows of 汉字 were not drawn"

expect_box 1 出错 lookup-failed
expect_box a Tarvelo rejected

x_end_with "$win" Escape || fail "the main window did not take the focus"
[ "$APP_STATUS" -ne 124 ] || fail "Esc did not end the application"
[ "$APP_STATUS" -eq 0 ] || fail "Close ended with status $APP_STATUS"

# Without its database the program shows one error box and never its window.
cp "$app" "$work/Tarvelo"
x_open "$work/Tarvelo" . /dev/null "" || fail "no box appeared and took the focus without a database"
box=$APP_WINDOW
import -window root "$shots/missing-database.png"
name=$(xdotool getwindowname "$box")
[ "$name" = Tarvelo ] || fail "the box of a missing database is titled \"$name\""
box_size=$(x_size "$box")
[ "$box_size" != "329x318" ] || fail "the main window appeared without a database"
[ "$(x_windows | wc -l)" -eq 1 ] || fail "more than the box appeared without a database"
x_end_with "$box" Return || fail "the box of a missing database lost the focus"
[ "$APP_STATUS" -ne 124 ] || fail "Return did not end the program without a database"
[ "$APP_STATUS" -ne 0 ] || fail "a missing database ended with status 0"
echo "real window checks passed"
