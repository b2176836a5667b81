# SPDX-License-Identifier: MIT
# Helpers for the scripts that drive the real Tarvelo program under Xvfb;
# sourced, not run. The calling script sets SCRIPT_DIR to its own folder.

. "$script_dir/../common/xdisplay.sh"

# Re-runs the calling script on an X server of its own with a window
# manager (see xdisplay.sh).
x_session_enter() {
    x_display_enter 1024x768 none "$@"
    trap x_display_stop EXIT
}

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Prepares an application folder in WORK: a copy of the program beside
# whatever the case puts there. Readable by every user, like an install.
app_folder() {
    rm -rf "$work/app"
    mkdir "$work/app"
    cp "$program" "$work/app/Tarvelo"
    chmod 755 "$work/app" "$work/app/Tarvelo"
}

# The state of the application folder: names, types, sizes, modes and
# contents of everything in it.
folder_state() {
    (cd "$work/app" && find . -printf '%p %y %s %m %T@\n' | sort \
        && find . -type f -readable -exec sha256sum {} + 2>/dev/null | sort) || true
}

# Starts the program from the application folder, as the unprivileged
# user when AS_NOBODY is set; its pid goes into APP_PID.
start_app() {
    run_dir="$work/cwd"
    rm -rf "$run_dir"
    mkdir -m 777 "$run_dir"
    app_log="$work/app.log"
    : > "$app_log"
    chmod 666 "$app_log"
    if [ -n "${AS_NOBODY:-}" ]; then
        (cd "$run_dir" && exec setpriv --reuid=65534 --regid=65534 --clear-groups \
            env -u XAUTHORITY HOME="$run_dir" ${nobody_lsan:+LSAN_OPTIONS="$nobody_lsan"} \
            "$work/app/Tarvelo" >>"$app_log" 2>&1) &
    else
        (cd "$run_dir" && exec "$work/app/Tarvelo" >>"$app_log" 2>&1) &
    fi
    APP_PID=$!
}

# Whether the unprivileged user can be switched to here.
can_run_as_nobody() {
    [ "$(id -u)" -eq 0 ] && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null
}

# The visible windows of the program, one id a line.
app_windows() {
    xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null || true
}

# Waits up to SECONDS for a visible window titled exactly TITLE; prints its
# id.
wait_window() {
    title=$1 seconds=$2
    end=$(($(date +%s) + seconds))
    while [ "$(date +%s)" -lt "$end" ]; do
        for w in $(app_windows); do
            if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$title" ]; then
                echo "$w"
                return 0
            fi
        done
        kill -0 "$APP_PID" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}

# Waits up to SECONDS for the program to end; its exit status goes into
# APP_STATUS (124 when it had to be killed).
wait_exit() {
    seconds=$1
    end=$(($(date +%s) + seconds))
    while kill -0 "$APP_PID" 2>/dev/null && [ "$(date +%s)" -lt "$end" ]; do
        sleep 0.2
    done
    if kill -0 "$APP_PID" 2>/dev/null; then
        kill -KILL "$APP_PID" 2>/dev/null || true
        wait "$APP_PID" 2>/dev/null || true
        APP_STATUS=124
        return
    fi
    APP_STATUS=0
    wait "$APP_PID" || APP_STATUS=$?
}

# Failures that no exit status shows: sanitizer reports and core files.
check_clean_run() {
    case_name=$1
    if grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$app_log"; then
        fail "$case_name: sanitizer report"
        cat "$app_log" >&2
    fi
    if [ -n "$(find "$run_dir" "$work/app" -name 'core*' -type f 2>/dev/null)" ]; then
        fail "$case_name: core file left"
    fi
}

activate() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
}

# Types TEXT into Text1 of the main window W and presses Enter (OK).
enter_text() {
    w=$1 text=$2
    activate "$w"
    xdotool mousemove --window "$w" 90 63 click --repeat 3 1
    xdotool key ctrl+a BackSpace
    xdotool type --delay 60 "$text"
    xdotool key Return
}

# When the program is a sanitizer build, the unprivileged user needs the
# leak suppressions where it can read them.
prepare_sanitizer_options() {
    nobody_lsan=""
    supp=$(printf '%s' "${LSAN_OPTIONS:-}" | sed -n 's/.*suppressions=\([^:]*\).*/\1/p')
    if [ -n "$supp" ] && [ -r "$supp" ]; then
        cp "$supp" "$work/lsan.supp"
        chmod 644 "$work/lsan.supp"
        nobody_lsan=$(printf '%s' "$LSAN_OPTIONS" | sed "s|suppressions=[^:]*|suppressions=$work/lsan.supp|")
    fi
}

make_work_dir() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelo-reliability.XXXXXX")
    chmod 755 "$work"
    trap 'x_display_stop; rm -rf "$work"' EXIT
}
