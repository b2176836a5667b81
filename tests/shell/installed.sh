#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the built program into a temporary prefix and checks it there.
#   installed.sh metadata BUILD_DIR   validate the desktop entry and metainfo
#   installed.sh run BUILD_DIR        start it through its launcher (needs X)
set -eu

mode=$1
build=$2
if [ "$mode" = run ]; then
    . "$(dirname "$0")/../common/xdisplay.sh"
    x_display_enter 1024x768 none "$@"
fi
app_id=org.example.tarvelo.Tarvelo
list_id=org.example.tarvelo.List
# Long enough for a slow, shared machine to map a window.
window_timeout=30

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; [ "$mode" != run ] || x_display_stop' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 \
    || { cat "$scratch/install.log" >&2; fail "cmake --install"; }

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

# Starts the launcher from an empty folder, waits for its first window,
# presses Escape and prints the exit status. On the main window Escape is
# Close; on the error box it dismisses the box and the program ends.
run_once() {
    elsewhere=$(mktemp -d "$scratch/cwd.XXXXXX")
    (cd "$elsewhere" && exec "$prefix/bin/tarvelo") >"$scratch/app.log" 2>&1 &
    pid=$!
    window=$(timeout "$window_timeout" xdotool search --sync --onlyvisible --name '^Tarvelo$' | head -n 1) \
        || { kill "$pid" 2>/dev/null; fail "no window appeared"; }
    sleep 2
    kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; fail "the program ended on its own"; }
    xdotool windowfocus --sync "$window" key Escape
    status=0
    waited=0
    while kill -0 "$pid" 2>/dev/null; do
        [ "$waited" -lt "$window_timeout" ] || { kill "$pid"; fail "Escape did not end the program"; }
        sleep 1
        waited=$((waited + 1))
    done
    wait "$pid" || status=$?
    echo "$status"
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
    status=$(run_once)
    [ "$status" = 0 ] || { cat "$scratch/app.log" >&2; fail "with its database: exit status $status, expected 0"; }
    rm "$prefix/lib/tarvelo/Refcom.dll"
    status=$(run_once)
    [ "$status" = 1 ] || { cat "$scratch/app.log" >&2; fail "without its database: exit status $status, expected 1"; }
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS: $mode"
