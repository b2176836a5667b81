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
fonts-wqy-zenhei fonts-arphic-uming fonts-hanazono
"

TEST_PACKAGES="
git sqlcipher sqlite3 bzip2
xvfb xauth x11-utils xdotool imagemagick openbox picom
clang libclang-rt-14-dev libbenchmark-dev valgrind
binutils-mingw-w64-x86-64 desktop-file-utils appstream icoutils
dpkg-dev file time lintian python3 man-db
"

case ${1:-test} in
run) wanted=$RUN_PACKAGES ;;
test) wanted="$RUN_PACKAGES $TEST_PACKAGES" ;;
*) echo "usage: install-deps.sh [run|test]" >&2; exit 2 ;;
esac

missing=""
for p in $wanted; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
