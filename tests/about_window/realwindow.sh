#!/bin/sh
# SPDX-License-Identifier: MIT
# Drives the real About window under Xvfb with a window manager and a
# compositor: Alt+A opens it, titled "关于" and centred on the screen, even
# with Esc typed right behind; it is translucent while it fades in and
# solid afterwards; dragging its picture moves it; and Enter on its
# focused Close fades it out and returns to the main window.
# Usage: realwindow.sh PATH/TO/Tarvelo SHOT_DIR
set -eu

screen_width=1024
screen_height=768
. "$(dirname "$0")/../common/xdisplay.sh"
x_display_enter "${screen_width}x${screen_height}" picom

app=$1
shots=$2
mkdir -p "$shots"

x_open "$app" . /dev/null Tarvelo || fail "the main window did not appear and take the focus"
main=$APP_WINDOW
# Keep the main window clear of the screen's centre, where the About
# window opens, so that only the root lies behind the sampled pixel.
xdotool windowmove --sync "$main" 0 0
x_focus "$main" || fail "the main window did not take the focus"

about_width=328
about_height=213
about_x=$(( (screen_width - about_width) / 2 ))
about_y=$(( (screen_height - about_height) / 2 ))
# A point of the backdrop between the picture and the document.
probe_x=$((about_x + 127))
probe_y=$((about_y + 100))

grey_at() { # FILE X Y -> grey level 0..255 of that pixel
    convert "$1" -crop "1x1+$2+$3" -colorspace Gray -depth 8 txt:- |
        awk 'NR == 2 { sub(/^.*gray\(/, ""); sub(/[,)].*$/, ""); print int($0 + 0.5) }'
}

import -window root "$work/before.png"
background=$(grey_at "$work/before.png" "$probe_x" "$probe_y")

# The About windows of the program, one id a line.
about_windows() {
    x_windows | grep -v -x "$main" || true
}

# Esc typed right behind Alt+A closes the About window or is lost while
# it maps, but never reaches the main window, where it would mean Close.
# Keys go through the server (XTEST) throughout: a key sent to a window
# that has lost the focus in between would leave Alt held in the server.
xdotool key alt+a Escape
# Long enough to fade in and out.
sleep 2.5
kill -0 "$APP_PID" 2>/dev/null || fail "Esc right after Alt+A ended the application"
xwininfo -id "$main" | grep -q IsViewable || fail "Esc right after Alt+A closed the main window"
echo "after Alt+A and Esc: $(about_windows | wc -l) About window(s) open"
for w in $(about_windows); do
    x_focus "$w" || fail "the About window did not take the focus"
    xdotool key Escape
done
for _ in $(seq 30); do
    [ -n "$(about_windows)" ] || break
    sleep 0.1
done
[ -z "$(about_windows)" ] || fail "the About window stays open after Esc"

# A click on the main window's backdrop makes it active again for sure.
xdotool mousemove 30 200 click 1
x_focus "$main" || fail "the main window did not take the focus back"
xdotool key alt+a
# A burst of shots through the fade-in, which takes about a second.
i=0
while [ $i -lt 8 ]; do
    import -window root "$work/fade-$i.png"
    i=$((i + 1))
done
sleep 1.5
about=$(x_wait_window "" "$main") || fail "the About window did not open"
name=$(xdotool getwindowname "$about")
[ "$name" = 关于 ] || fail "the About window is titled \"$name\""
import -window root "$shots/about-shown.png"
shown=$(grey_at "$shots/about-shown.png" "$probe_x" "$probe_y")

levels=""
blended=""
i=0
while [ $i -lt 8 ]; do
    level=$(grey_at "$work/fade-$i.png" "$probe_x" "$probe_y")
    levels="$levels $level"
    if [ -z "$blended" ] && [ "$level" -gt $((background + 10)) ] && [ "$level" -lt $((shown - 10)) ]; then
        blended=$i
        cp "$work/fade-$i.png" "$shots/about-fading-in.png"
    fi
    i=$((i + 1))
done
echo "backdrop grey: before $background, during the fade-in$levels, shown $shown"
[ "$shown" -gt $((background + 100)) ] || fail "the About window is not drawn solid after its fade-in"
[ -n "$blended" ] || fail "no shot caught the About window translucent"

position() { # WINDOW -> "X Y" of its top-left corner on the screen
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}'
}
size=$(x_size "$about")
[ "$size" = "${about_width}x${about_height}" ] || fail "the About window is $size"
set -- $(position "$about")
echo "About window at $1,$2, size $size"
[ "$1" -ge $((about_x - 1)) ] && [ "$1" -le $((about_x + 1)) ] &&
    [ "$2" -ge $((about_y - 1)) ] && [ "$2" -le $((about_y + 1)) ] || fail "not centred on the screen"

# Drag by the picture: press, move in steps, release. The move begins
# with the first step, so the window follows the pointer from there.
dx=120
dy=-90
start_x=$((about_x + 60))
start_y=$((about_y + 90))
xdotool mousemove "$start_x" "$start_y"
sleep 0.2
xdotool mousedown 1
step=1
while [ $step -le 10 ]; do
    xdotool mousemove $((start_x + dx * step / 10)) $((start_y + dy * step / 10))
    sleep 0.05
    step=$((step + 1))
done
sleep 0.2
xdotool mouseup 1
sleep 0.5
import -window root "$shots/about-dragged.png"
set -- $(position "$about")
echo "after the drag at $1,$2"
dragged_x=$1
dragged_y=$2
[ "$1" -ge $((about_x + dx * 8 / 10)) ] && [ "$1" -le $((about_x + dx + 3)) ] &&
    [ "$2" -le $((about_y + dy * 8 / 10)) ] && [ "$2" -ge $((about_y + dy - 3)) ] || fail "the drag did not move the window"

# The move ends with the release: the pointer moving on leaves it alone.
xdotool mousemove $((start_x + dx + 40)) $((start_y + dy + 30))
sleep 0.3
set -- $(position "$about")
[ "$1" -eq "$dragged_x" ] && [ "$2" -eq "$dragged_y" ] || fail "the move outlived the button release"

# Dragging the document must not move the window.
set -- $(position "$about")
moved_x=$1
moved_y=$2
xdotool mousemove $((moved_x + 220)) $((moved_y + 60))
sleep 0.2
xdotool mousedown 1
xdotool mousemove $((moved_x + 260)) $((moved_y + 100))
sleep 0.2
xdotool mouseup 1
sleep 0.3
set -- $(position "$about")
[ "$1" -eq "$moved_x" ] && [ "$2" -eq "$moved_y" ] || fail "dragging the document moved the window"

# Enter on the focused Close fades the window out and unloads it; the main
# window takes input again. The click on the document left the About
# window active and the document focused; Tab moves on to Close.
xdotool key Tab
sleep 0.2
xdotool key Return
x_wait_gone "$about" 3 || fail "Enter on Close did not close the About window"
kill -0 "$APP_PID" 2>/dev/null || fail "the application ended with the About window"

# A click on the main window's backdrop, then its Esc.
xdotool mousemove 30 200 click 1
x_end_with "$main" Escape || fail "the main window did not take the focus back"
[ "$APP_STATUS" -ne 124 ] || fail "the main window took no input after the About window"
[ "$APP_STATUS" -eq 0 ] || fail "the application ended with status $APP_STATUS"
echo "About window real-window checks passed"
