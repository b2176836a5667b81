#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs scripted sessions of the real program from a read-only application
# folder as an unprivileged user: lookups, a failed lookup, About and Close,
# then a second start. Everything must work and nothing in the folder may
# change. Under a sanitizer build the leak check runs at each exit.
# usage: readonly_session.sh PROGRAM STROKE_DB SHOTS_DIR
set -eu
program=$1 real_db=$2 shots=$3
. "$(dirname "$0")/xsession.sh"
mkdir -p "$shots"

if can_run_as_nobody; then
    AS_NOBODY=1
elif [ "$(id -u)" -eq 0 ]; then
    echo "SKIP: root cannot switch to an unprivileged user here, and root writes anywhere"
    exit 0
fi

app_folder
cp "$real_db" "$work/app/Refcom.dll"
chmod 444 "$work/app/Refcom.dll"
chmod 555 "$work/app"
before=$(folder_state)

# Waits until the program shows COUNT visible windows.
wait_window_count() {
    count=$1
    end=$(($(date +%s) + x_seconds))
    while [ "$(x_windows | wc -l)" -ne "$count" ]; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.2
    done
}

# session NAME STEPS: starts the program, runs the function STEPS on its
# main window $main, closes it with Esc and checks how it ended.
session() {
    if open_app Tarvelo; then
        main=$APP_WINDOW
        $2
        x_end_with "$main" Escape || fail "$1: the main window did not take the focus"
    else
        fail "$1: the main window did not come up"
        x_wait_exit
    fi
    [ "$APP_STATUS" -eq 0 ] || fail "$1 ended with status $APP_STATUS"
    check_clean_run "$1"
}

# Two lookups, one that fails, and About.
lookups_and_about() {
    enter_text "$main" 汉字
    sleep 0.5
    wait_window_count 1 || fail "a lookup of 汉字 showed a message"
    import -window root "$shots/readonly-lookup.png"
    enter_text "$main" 1
    if box=$(x_wait_window 出错); then
        x_focus "$box" || fail "the message box did not take the focus"
        xdotool key Return
    else
        fail "the lookup of 1 showed no message"
    fi
    wait_window_count 1 || fail "the message box did not go away"
    x_focus "$main" || fail "the main window did not take the focus"
    xdotool key alt+a
    if about=$(x_wait_window 关于); then
        x_focus "$about" || fail "the About window did not take the focus"
        sleep 1
        import -window root "$shots/readonly-about.png"
        xdotool key Escape
        wait_window_count 1 || fail "the About window did not close"
    else
        fail "the About window did not come up"
    fi
}

session "first session" lookups_and_about
# Start and close at once.
session "second session" :

after=$(folder_state)
if [ "$after" != "$before" ]; then
    fail "the application folder changed"
    printf 'before:\n%s\nafter:\n%s\n' "$before" "$after" >&2
fi
written=$(cd "$run_dir" && find . -mindepth 1 | head -n 20)
[ -z "$written" ] || echo "note: files the libraries made under HOME: $written"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "read-only sessions: all steps worked and the folder is unchanged"
