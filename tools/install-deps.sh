#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the Debian 12 packages Tarvelo needs.
#   install-deps.sh run    what building and running every program needs
#   install-deps.sh test   that and what the tests and benchmarks need (the default)
set -eu

RUN_PACKAGES="
build-essential cmake ninja-build pkg-config
qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
libsqlcipher-dev libssl-dev libbz2-dev unicode-data
libminizip-dev zlib1g-dev
fonts-wqy-zenhei fonts-arphic-uming fonts-hanazono
"

TEST_PACKAGES="
git sqlcipher sqlite3 bzip2
xvfb xauth x11-utils x11-xserver-utils xdotool xclip imagemagick openbox picom
clang libclang-rt-14-dev libbenchmark-dev valgrind libxlsxwriter-dev
binutils-mingw-w64-x86-64 desktop-file-utils appstream icoutils
dpkg-dev file time lintian python3 man-db python3-openpyxl python3-odf
libreoffice-calc-nogui
"

# Single data files taken out of Debian packages whose installation would pull
# in far more (the stroke table's package brings Qt 5's WebEngine along).
# The SHA-256 of each file is checked, so another version is noticed.
# CMake finds them here (TARVELO_STROKE_TABLE, TARVELO_SECOND_STROKE_TABLE).
DATA_DIR=/var/cache/tarvelo
# Who needs it (run or test), package=version, file inside it, name here,
# SHA-256. The stroke sequences (LGPL-2.1+) ship beside the database; the
# second table (GPL-3+) is for the tests only and never shipped.
DATA_FILES="
run fcitx5-module-pinyinhelper=5.0.16-1 usr/share/fcitx5/pinyinhelper/py_stroke.mb py_stroke.mb b7cf1bef19eb5f6fec011ec8c4211c10008a9fd3c9ae1ec1a161ef237db63f4e
test ibus-libpinyin=1.15.1-1 usr/share/ibus-libpinyin/db/table.db ibus-libpinyin-table.db 0ab8b48527f91fba74b71225824b00233aa3e3eb282567c2ae3022eb437f08b8
"

mode=${1:-test}
case $mode in
run) wanted=$RUN_PACKAGES ;;
test) wanted="$RUN_PACKAGES $TEST_PACKAGES" ;;
*) echo "usage: install-deps.sh [run|test]" >&2; exit 2 ;;
esac

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=""

missing=""
for p in $wanted; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    $SUDO apt-get update -q
    updated=yes
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -q --no-install-recommends $missing
fi

has_file() { # name sha256
    [ -f "$DATA_DIR/$1" ] && echo "$2  $DATA_DIR/$1" | sha256sum -c --status -
}

echo "$DATA_FILES" | while read -r who package inside name sha; do
    [ -n "$package" ] || continue
    [ "$who" = run ] || [ "$mode" = test ] || continue
    has_file "$name" "$sha" && continue
    [ -n "$updated" ] || { $SUDO apt-get update -q; updated=yes; }
    work=$(mktemp -d)
    # apt's download user must be able to write the folder.
    chmod 755 "$work"
    (cd "$work" && apt-get download -q "$package")
    dpkg-deb -x "$work"/*.deb "$work/root"
    if ! echo "$sha  $work/root/$inside" | sha256sum -c --status -; then
        echo "install-deps: $inside from $package is not the expected file (SHA-256 differs)" >&2
        rm -rf "$work"
        exit 1
    fi
    $SUDO mkdir -p "$DATA_DIR"
    $SUDO install -m 644 "$work/root/$inside" "$DATA_DIR/$name"
    rm -rf "$work"
done
