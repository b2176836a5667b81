#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs every Debian 12 package that building, running and testing Tarvelo needs.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config git
qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
libsqlcipher-dev sqlcipher sqlite3 libbz2-dev bzip2
unicode-data
fonts-wqy-zenhei fonts-arphic-uming fonts-hanazono
xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick openbox picom
clang libclang-rt-14-dev libbenchmark-dev valgrind
binutils-mingw-w64-x86-64 desktop-file-utils appstream icoutils
dpkg-dev file time lintian python3
"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
