# SPDX-License-Identifier: MIT
# What every script that drives the real program shares: the X display (a
# fresh Xvfb screen with openbox, which frames windows and gives them the
# input focus as a desktop would, and picom where translucency has to show),
# starting the program, finding its windows, ending it. Sourced by a
# script one folder below tests/.

. "$(dirname "$0")/../common/check.sh"

# Long enough for a slow, shared machine, or a sanitizer build, to map a
# window or to end.
x_seconds=60

# x_display_enter SIZE COMPOSITOR
#   Starts an X server of its own whose screen is SIZE (1024x768, say),
#   points DISPLAY at it and starts openbox there, and picom as well when
#   COMPOSITOR is "picom"; all of it, and every program x_start started,
#   ends with the script. The server picks a free display itself and names
#   it once it takes connections (-displayfd), so scripts run side by side
#   never race for a display number. Its root is black, so a translucent
#   window shows darker, and -ac lets a program run as another user reach
#   it. -noreset keeps the server from starting afresh whenever its last
#   client leaves: the xprop that waits for the window manager could
#   otherwise leave just as openbox connects, and the reset would end
#   openbox.
x_display_enter() {
    x_pids=""
    at_exit x_display_stop
    mkfifo "$work/display"
    Xvfb -displayfd 3 -ac -br -noreset -nolisten tcp -screen 0 "$1x24" \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    x_pids="$!"
    # The read ends empty when the server ends before naming its display.
    x_number=""
    read -r x_number <"$work/display" || true
    [ -n "$x_number" ] || { cat "$work/xvfb.log" >&2; fail "the X server did not start"; exit 1; }
    export DISPLAY=":$x_number"
    unset XAUTHORITY
    openbox >/dev/null 2>&1 &
    x_pids="$! $x_pids"
    x_wait_for_window_manager "$!"
    if [ "$2" = picom ]; then
        picom --config /dev/null --backend xrender >/dev/null 2>&1 &
        x_pids="$! $x_pids"
        # picom announces itself through a selection, which no installed
        # tool reads; it is ready well within this.
        sleep 1
    fi
}

# Programs first, so that none outlives the window manager, and the server
# last.
x_display_stop() {
    for x_pid in ${x_app_pids:-} $x_pids; do kill "$x_pid" 2>/dev/null || true; done
}

# The window manager, process PID, is running once it has named its
# check window.
x_wait_for_window_manager() {
    x_tries=0
    while ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        kill -0 "$1" 2>/dev/null || { fail "the window manager ended as it started"; exit 1; }
        x_tries=$((x_tries + 1))
        [ "$x_tries" -lt 100 ] || { fail "the window manager did not start"; exit 1; }
        sleep 0.1
    done
}

# x_start PROGRAM FOLDER LOG
#   Starts PROGRAM in the background with FOLDER as its working folder,
#   its output appended to LOG; its pid goes into APP_PID. When AS_NOBODY
#   is set it runs as the unprivileged user, with FOLDER as its home and
#   the leak check's options in x_nobody_lsan.
x_start() {
    if [ -n "${AS_NOBODY:-}" ]; then
        (cd "$2" && exec setpriv --reuid=65534 --regid=65534 --clear-groups \
            env HOME="$2" ${x_nobody_lsan:+LSAN_OPTIONS="$x_nobody_lsan"} \
            "$1" >>"$3" 2>&1) &
    else
        (cd "$2" && exec "$1" >>"$3" 2>&1) &
    fi
    APP_PID=$!
    x_app_pids="${x_app_pids:-} $APP_PID"
}

# x_open PROGRAM FOLDER LOG TITLE
#   Starts PROGRAM as x_start does and waits until a window of it titled
#   TITLE (any title when TITLE is empty) is mapped and holds the focus;
#   its id goes into APP_WINDOW. Fails, telling on standard error what the
#   display held, when none does in time.
x_open() {
    x_start "$1" "$2" "$3"
    APP_WINDOW=$(x_wait_window "$4") && x_focus "$APP_WINDOW"
}

# Whether the program is still running. Within a command substitution
# an ended program stays a zombie, which kill -0 still finds, until the
# script's own shell collects it.
x_running() {
    x_state=$(ps -o stat= -p "$APP_PID" 2>/dev/null) && [ "${x_state#Z}" = "$x_state" ]
}

# x_wait_exit
#   Waits for the program to end; its exit status goes into APP_STATUS,
#   124 when it had to be killed.
x_wait_exit() {
    x_end=$(($(date +%s) + x_seconds))
    while x_running && [ "$(date +%s)" -lt "$x_end" ]; do
        sleep 0.2
    done
    if x_running; then
        kill -KILL "$APP_PID" 2>/dev/null || true
        wait "$APP_PID" 2>/dev/null || true
        APP_STATUS=124
        return 0
    fi
    APP_STATUS=0
    wait "$APP_PID" || APP_STATUS=$?
}

# x_end_with WINDOW KEY
#   Focuses WINDOW, presses KEY and waits for the program to end (see
#   x_wait_exit). Fails when WINDOW did not take the focus; KEY is pressed
#   all the same.
x_end_with() {
    x_focused=0
    x_focus "$1" || x_focused=1
    xdotool key "$2"
    x_wait_exit
    return "$x_focused"
}

# The mapped windows of the program, one id a line. xdotool walks every
# window of the display, and a window that goes away under its walk (any
# client's, the program's own short-lived ones included) kills it with
# Xlib's BadWindow report: then the walk is taken again.
x_windows() {
    x_tries=0
    while :; do
        x_found=$(xdotool search --onlyvisible --pid "$APP_PID" 2>&1) || true
        case $x_found in
        *"X Error"*)
            x_tries=$((x_tries + 1))
            [ "$x_tries" -lt 50 ] || return 1
            ;;
        *)
            printf '%s\n' "$x_found" | grep -E '^[0-9]+$' || true
            return 0
            ;;
        esac
    done
}

# x_wait_window TITLE [EXCEPT]
#   Waits for a mapped window of the program titled exactly TITLE (any
#   title when TITLE is empty) other than the window EXCEPT; prints its id.
#   Fails at once when the program ends, and tells on standard error what
#   the display held instead.
x_wait_window() {
    x_end=$(($(date +%s) + x_seconds))
    while [ "$(date +%s)" -lt "$x_end" ]; do
        for x_w in $(x_windows); do
            [ "$x_w" != "${2:-}" ] || continue
            if [ -z "$1" ] || [ "$(xdotool getwindowname "$x_w" 2>/dev/null)" = "$1" ]; then
                echo "$x_w"
                return 0
            fi
        done
        x_running || break
        sleep 0.1
    done
    x_describe >&2
    return 1
}

# What the display and the program are doing, for a failed wait.
x_describe() {
    if x_running; then
        echo "process $APP_PID is running; its windows: $(xdotool search --pid "$APP_PID" 2>&1 | tr '\n' ' ')"
    else
        echo "process $APP_PID has ended"
    fi
    echo "named windows on the display:"
    xwininfo -root -tree 2>&1 | grep -E '^ +0x[0-9a-f]+ "' | head -n 20
}

# x_focus WINDOW
#   Makes WINDOW the active window and waits until it holds the input
#   focus, so that keys typed next reach it.
x_focus() {
    x_tries=0
    while [ "$(xdotool getwindowfocus 2>/dev/null)" != "$1" ] \
        || [ "$(xdotool getactivewindow 2>/dev/null)" != "$1" ]; do
        x_tries=$((x_tries + 1))
        if [ "$x_tries" -gt 100 ]; then
            echo "window $1 did not take the focus; $(xdotool getwindowfocus 2>&1) holds it" >&2
            x_describe >&2
            return 1
        fi
        xdotool windowactivate "$1" 2>/dev/null || xdotool windowfocus "$1" 2>/dev/null || true
        sleep 0.1
    done
}

# x_type TEXT [DELAY]
#   Types TEXT into the focused window, DELAY milliseconds (80 unless
#   given) between keys. xdotool types a character that the keyboard map
#   lacks by binding it to a spare key for the moment of its press only, so
#   a program that reads the press late sees no character; such characters
#   are bound to spare keys for the rest of the session first.
x_type() {
    for x_sym in $(python3 -c 'import sys; print(*("U%04X" % ord(c) for c in sys.argv[1] if ord(c) > 0x7E))' "$1"); do
        xmodmap -pke | grep -q " $x_sym\( \|\$\)" && continue
        # The first keycode of the map cannot be bound.
        x_key=$(xmodmap -pke | awk 'NF == 3 && $2 > 8 { print $2; exit }')
        [ -n "$x_key" ] || { echo "no spare key for $x_sym" >&2; return 1; }
        xmodmap -e "keycode $x_key = $x_sym"
    done
    xdotool type --delay "${2:-80}" "$1"
}

# enter_text WINDOW TEXT
#   Types TEXT into the input box of the main window WINDOW, in place of
#   what it held, and presses Enter (OK).
enter_text() {
    x_focus "$1" || fail "the main window did not take the focus"
    xdotool mousemove --window "$1" 90 63 click --repeat 3 1
    xdotool key ctrl+a BackSpace
    x_type "$2"
    xdotool key Return
}

# x_viewable WINDOW: whether WINDOW exists and is mapped.
x_viewable() {
    xwininfo -id "$1" 2>/dev/null | grep -q IsViewable
}

# x_wait_gone WINDOW [SECONDS]: waits until WINDOW is unmapped or destroyed.
x_wait_gone() {
    x_end=$(($(date +%s) + ${2:-$x_seconds}))
    while x_viewable "$1"; do
        [ "$(date +%s)" -lt "$x_end" ] || return 1
        sleep 0.1
    done
}

# The size of client window W as "WIDTHxHEIGHT".
x_size() {
    xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'
}

# The frame of client window W as "X Y WIDTH HEIGHT": the client's place
# and size grown by the frame extents the window manager announced.
x_frame_geometry() {
    x_extents=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$x_extents" ] || x_extents=0,0,0,0
    xwininfo -id "$1" | awk -v e="$x_extents" '
        BEGIN { split(e, m, ",") } # left, right, top, bottom
        /Absolute upper-left X:/ { x = $4 }
        /Absolute upper-left Y:/ { y = $4 }
        /Width:/ { w = $2 }
        /Height:/ { h = $2 }
        END { print x - m[1], y - m[3], w + m[1] + m[2], h + m[3] + m[4] }'
}

# The largest distance in pixels, along either axis, between the centre
# of client window W's frame and the centre of the screen.
x_frame_centre_offset() {
    x_screen=$(xdpyinfo | awk '/dimensions:/ { print $2; exit }')
    x_frame_geometry "$1" | awk -v s="$x_screen" '{
        split(s, d, "x")
        dx = $1 + $3 / 2 - d[1] / 2; if (dx < 0) dx = -dx
        dy = $2 + $4 / 2 - d[2] / 2; if (dy < 0) dy = -dy
        print (dx > dy ? dx : dy), "(" dx ", " dy ")"
    }'
}
