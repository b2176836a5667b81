#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs scripted sessions of the real program from a read-only application
# folder as an unprivileged user: lookups, a failed lookup, About and Close,
# then a second start. Everything must work and nothing in the folder may
# change. Under a sanitizer build the leak check runs at each exit.
# usage: readonly_session.sh PROGRAM STROKE_DB SHOTS_DIR
set -eu
program=$1 real_db=$2 shots=$3
script_dir=$(dirname "$0")
. "$script_dir/xsession.sh"
x_session_enter "$@"
make_work_dir
prepare_sanitizer_options
mkdir -p "$shots"
failures=0
window_seconds=60
exit_seconds=30

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
    end=$(($(date +%s) + window_seconds))
    while [ "$(x_windows | wc -l)" -ne "$count" ]; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.2
    done
}

# First session: two lookups, one that fails, About, Close.
start_app
if main=$(x_wait_window Tarvelo "$window_seconds"); then
    enter_text "$main" 汉字
    sleep 0.5
    wait_window_count 1 || fail "a lookup of 汉字 showed a message"
    import -window root "$shots/readonly-lookup.png"
    enter_text "$main" 1
    if box=$(x_wait_window 出错 "$window_seconds"); then
        x_focus "$box" || fail "the message box did not take the focus"
        xdotool key Return
    else
        fail "the lookup of 1 showed no message"
    fi
    wait_window_count 1 || fail "the message box did not go away"
    x_focus "$main" || fail "the main window did not take the focus"
    xdotool key alt+a
    if about=$(x_wait_window 关于 "$window_seconds"); then
        x_focus "$about" || fail "the About window did not take the focus"
        sleep 1
        import -window root "$shots/readonly-about.png"
        xdotool key Escape
        wait_window_count 1 || fail "the About window did not close"
    else
        fail "the About window did not come up"
    fi
    x_focus "$main" || fail "the main window did not take the focus"
    xdotool key Escape
else
    fail "the main window did not come up"
fi
x_wait_exit "$exit_seconds"
[ "$APP_STATUS" -eq 0 ] || fail "first session ended with status $APP_STATUS"
check_clean_run "first session"

# Second session: start and close at once.
start_app
if main=$(x_wait_window Tarvelo "$window_seconds"); then
    x_focus "$main" || fail "the main window did not take the focus"
    xdotool key Escape
else
    fail "the main window did not come up the second time"
fi
x_wait_exit "$exit_seconds"
[ "$APP_STATUS" -eq 0 ] || fail "second session ended with status $APP_STATUS"
check_clean_run "second session"

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
