#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts the real program with its stroke database missing, damaged,
# foreign or unreadable. Each start must show one message box and end with
# a failure status, without a crash, and leave the folder as it was.
# usage: faultmatrix.sh PROGRAM FIXTURE_TOOL STROKE_DB SHOTS_DIR
set -eu
program=$1 fixture=$2 real_db=$3 shots=$4
. "$(dirname "$0")/xsession.sh"
mkdir -p "$shots"
table="$shots/faultmatrix.txt"
printf '| fault | what the user sees | exit status |\n|---|---|---|\n' > "$table"

db="$work/app/Refcom.dll"

# One start that must fail: SETUP makes the fault in the application folder.
startup_case() {
    name=$1 setup=$2
    app_folder
    eval "$setup"
    before=$(folder_state)
    seen="no window"
    if open_app Tarvelo; then
        box=$APP_WINDOW
        sleep 0.5
        count=$(x_windows | wc -l)
        [ "$count" -eq 1 ] || fail "$name: $count windows instead of one message box"
        seen="one box titled \"$(xdotool getwindowname "$box")\""
        import -window root "$shots/$name.png"
        x_end_with "$box" Return || fail "$name: the box did not take the focus"
    else
        fail "$name: no message box came up"
        x_wait_exit
    fi
    if [ "$APP_STATUS" -eq 0 ] || [ "$APP_STATUS" -ge 124 ]; then
        fail "$name: exit status $APP_STATUS, wanted a failure status without a signal"
    fi
    check_clean_run "$name"
    [ "$(folder_state)" = "$before" ] || fail "$name: the application folder changed"
    printf '| %s | %s | %s |\n' "$name" "$seen" "$APP_STATUS" >> "$table"
}

startup_case missing ':'
startup_case zero-length ': > "$db"'
startup_case truncated 'head -c $(($(stat -c %s "$real_db") / 2)) "$real_db" > "$db"'
startup_case flipped-first-page 'cp "$real_db" "$db" && "$fixture" fliphead "$db"'
startup_case flipped-data-page 'cp "$real_db" "$db" && "$fixture" fliproot "$db"'
startup_case other-password '"$fixture" otherpassword "$db"'
startup_case plain-sqlite '"$fixture" plain "$db"'
startup_case directory 'mkdir "$db"'
startup_case no-table-a '"$fixture" notable "$db"'
startup_case renamed-column '"$fixture" renamedcolumn "$db"'
if can_run_as_nobody; then
    AS_NOBODY=1 startup_case unreadable 'cp "$real_db" "$db" && chmod 000 "$db"'
elif [ "$(id -u)" -ne 0 ]; then
    startup_case unreadable 'cp "$real_db" "$db" && chmod 000 "$db"'
else
    echo "SKIP unreadable: cannot switch to an unprivileged user here"
    printf '| unreadable | skipped: no unprivileged user | - |\n' >> "$table"
fi

cat "$table"
if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "fault matrix: all cases behaved"
