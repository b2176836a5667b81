# SPDX-License-Identifier: MIT
# Helpers for the scripts that start the real Tarvelo program from an
# application folder of their own, case after case; sourced, not run. The
# calling script sets script_dir to its own folder.

. "$script_dir/../common/xdisplay.sh"
# Every case runs, and the script reports how many failed.
keep_going=1

# Re-runs the calling script on an X server of its own with a window
# manager (see xdisplay.sh).
x_session_enter() {
    x_display_enter 1024x768 none "$@"
    trap x_display_stop EXIT
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
    x_start "$work/app/Tarvelo" "$run_dir" "$app_log"
}

# Whether the unprivileged user can be switched to here.
can_run_as_nobody() {
    [ "$(id -u)" -eq 0 ] && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null
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

# Types TEXT into Text1 of the main window W and presses Enter (OK).
enter_text() {
    w=$1 text=$2
    x_focus "$w" || fail "the main window did not take the focus"
    xdotool mousemove --window "$w" 90 63 click --repeat 3 1
    xdotool key ctrl+a BackSpace
    x_type "$text" 60
    xdotool key Return
}

# When the program is a sanitizer build, the unprivileged user needs the
# leak suppressions where it can read them.
prepare_sanitizer_options() {
    x_nobody_lsan=""
    supp=$(printf '%s' "${LSAN_OPTIONS:-}" | sed -n 's/.*suppressions=\([^:]*\).*/\1/p')
    if [ -n "$supp" ] && [ -r "$supp" ]; then
        cp "$supp" "$work/lsan.supp"
        chmod 644 "$work/lsan.supp"
        x_nobody_lsan=$(printf '%s' "$LSAN_OPTIONS" | sed "s|suppressions=[^:]*|suppressions=$work/lsan.supp|")
    fi
}

make_work_dir() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelo-reliability.XXXXXX")
    chmod 755 "$work"
    trap 'x_display_stop; rm -rf "$work"' EXIT
}
