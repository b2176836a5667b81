# SPDX-License-Identifier: MIT
# What the scripts share that start the real Tarvelo program from an
# application folder of their own, case after case, on an X display of
# their own; sourced, not run. Every case runs, and the script reports how
# many failed.

. "$(dirname "$0")/../common/xdisplay.sh"
keep_going=1
x_display_enter 1024x768 none

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

# open_app TITLE
#   Starts the program from the application folder, as the unprivileged
#   user when AS_NOBODY is set, in a working folder of its own, and waits
#   for its window titled TITLE to take the focus (see x_open).
open_app() {
    run_dir="$work/cwd"
    rm -rf "$run_dir"
    mkdir -m 777 "$run_dir"
    app_log="$work/app.log"
    : > "$app_log"
    chmod 666 "$app_log"
    x_open "$work/app/Tarvelo" "$run_dir" "$app_log" "$1"
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

# When the program is a sanitizer build, the unprivileged user needs the
# leak suppressions where it can read them.
x_nobody_lsan=""
# Options are taken one by one: print_suppressions=0 must not pass for the
# file's name.
supp=$(printf '%s' "${LSAN_OPTIONS:-}" | tr ':' '\n' | sed -n 's/^suppressions=//p')
if [ -n "$supp" ] && [ -r "$supp" ]; then
    cp "$supp" "$work/lsan.supp"
    chmod 644 "$work/lsan.supp"
    x_nobody_lsan=$(printf '%s' "$LSAN_OPTIONS" | tr ':' '\n' \
        | sed "s|^suppressions=.*|suppressions=$work/lsan.supp|" | paste -s -d ':')
fi
