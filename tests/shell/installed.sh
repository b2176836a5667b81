#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the built program into a temporary prefix and checks it there.
#   installed.sh metadata BUILD_DIR   validate the desktop entry and metainfo
#   installed.sh run BUILD_DIR        start it through its launcher (needs X)
set -eu

mode=$1
build=$2
. "$(dirname "$0")/../common/xdisplay.sh"
[ "$mode" != run ] || x_display_enter 1024x768 none
app_id=org.example.tarvelo.Tarvelo
list_id=org.example.tarvelo.List

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 \
    || { cat "$work/install.log" >&2; fail "cmake --install"; }

check_layout() {
    for f in lib/tarvelo/Tarvelo lib/tarvelo/tarvelo-list lib/tarvelo/Refcom.dll \
             share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
             share/applications/$list_id.desktop share/metainfo/$list_id.metainfo.xml \
             share/man/man1/tarvelo-list.1.gz \
             share/icons/hicolor/16x16/apps/$app_id.png share/icons/hicolor/256x256/apps/$app_id.png \
             share/doc/tarvelo/LICENSE share/doc/tarvelo/NOTICE; do
        [ -f "$prefix/$f" ] || fail "$f is not installed"
    done
    [ -L "$prefix/bin/tarvelo" ] || fail "bin/tarvelo is not a link"
    [ "$(readlink "$prefix/bin/tarvelo")" = ../lib/tarvelo/Tarvelo ] \
        || fail "bin/tarvelo points at $(readlink "$prefix/bin/tarvelo")"
    [ "$(readlink "$prefix/bin/tarvelo-list")" = ../lib/tarvelo/tarvelo-list ] \
        || fail "bin/tarvelo-list points at $(readlink "$prefix/bin/tarvelo-list")"
}

# Starts the launcher from an empty folder, waits for its first window
# (the main window or the error box, both titled Tarvelo), presses Escape
# there and leaves the exit status in APP_STATUS. On the main window
# Escape is Close; on the error box it dismisses the box and the program
# ends.
run_once() {
    elsewhere=$(mktemp -d "$work/cwd.XXXXXX")
    : >"$work/app.log"
    x_open "$prefix/bin/tarvelo" "$elsewhere" "$work/app.log" Tarvelo || {
        kill -0 "$APP_PID" 2>/dev/null || fail "the program ended without a window"
        fail "no window appeared and took the focus"
    }
    kill -0 "$APP_PID" 2>/dev/null || fail "the program ended on its own"
    x_end_with "$APP_WINDOW" Escape || fail "the window lost the focus"
    [ "$APP_STATUS" != 124 ] || fail "Escape did not end the program"
}

case $mode in
metadata)
    check_layout
    for id in $app_id $list_id; do
        desktop-file-validate "$prefix/share/applications/$id.desktop" \
            || fail "desktop-file-validate $id"
        appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" \
            || fail "appstreamcli validate $id"
    done
    ;;
run)
    check_layout
    run_once
    [ "$APP_STATUS" = 0 ] || { cat "$work/app.log" >&2; fail "with its database: exit status $APP_STATUS, expected 0"; }
    rm "$prefix/lib/tarvelo/Refcom.dll"
    run_once
    [ "$APP_STATUS" = 1 ] || { cat "$work/app.log" >&2; fail "without its database: exit status $APP_STATUS, expected 1"; }
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS: $mode"
