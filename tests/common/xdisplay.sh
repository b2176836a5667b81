# SPDX-License-Identifier: MIT
# The X display of the scripts that drive the real program: a fresh Xvfb
# screen with openbox, which frames windows and gives them the input focus
# as a desktop would, and picom where translucency has to show. Sourced.

# x_display_enter SIZE COMPOSITOR SCRIPT_ARGUMENTS...
#   Re-runs the calling script with SCRIPT_ARGUMENTS on a fresh X server
#   whose screen is SIZE (1024x768, say), then starts openbox there, and
#   picom as well when COMPOSITOR is "picom". The server's root is black,
#   so a translucent window shows darker, and -ac lets a program run as
#   another user reach it. x_display_stop ends what this started.
x_display_enter() {
    x_size=$1 x_compositor=$2
    shift 2
    if [ -z "${TARVELO_X_DISPLAY:-}" ]; then
        TARVELO_X_DISPLAY=1 exec xvfb-run -a -s "-ac -br -screen 0 ${x_size}x24" sh "$0" "$@"
    fi
    x_pids=""
    openbox >/dev/null 2>&1 &
    x_pids="$!"
    x_wait_for_window_manager
    if [ "$x_compositor" = picom ]; then
        picom --config /dev/null --backend xrender >/dev/null 2>&1 &
        x_pids="$x_pids $!"
        # picom announces itself through a selection, which no installed
        # tool reads; it is ready well within this.
        sleep 1
    fi
}

x_display_stop() {
    for x_pid in $x_pids; do kill "$x_pid" 2>/dev/null || true; done
}

# The window manager is running once it has named its check window.
x_wait_for_window_manager() {
    x_tries=0
    while ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        x_tries=$((x_tries + 1))
        [ "$x_tries" -lt 100 ] || { echo "the window manager did not start" >&2; return 1; }
        sleep 0.1
    done
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
