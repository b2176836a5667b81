#!/bin/sh
# SPDX-License-Identifier: MIT
# The program file's resources, compiled as the Windows build compiles them
# and turned back into resource script by the same compiler.
# Usage: versionresource.sh WINDRES CPP RC_FILE
set -eu
windres=$1 cpp=$2 rc=$3
. "$(dirname "$0")/../common/check.sh"
# Every line is checked, and the script reports all that failed.
keep_going=1
[ -x "$windres" ] || {
    echo "x86_64-w64-mingw32-windres is missing: install binutils-mingw-w64-x86-64" >&2
    exit 1
}
"$windres" --preprocessor="$cpp" -O res -i "$rc" -o "$work/tarvelo.res"
"$windres" -i "$work/tarvelo.res" -O rc >"$work/script.rc"
sed -n '/Type: version/,$p' "$work/script.rc"

# WHAT COUNT PATTERN: so many lines of the script match the extended regex.
lines() {
    n=$(grep -cE -- "$3" "$work/script.rc" || true)
    [ "$n" -eq "$2" ] || fail "$1: $n lines match '$3', expected $2"
}

lines "one version resource" 1 '^[^ ]+ VERSIONINFO$'
lines "named VS_VERSION_INFO" 1 '^1 VERSIONINFO$'
lines "fixed file version" 1 '^ FILEVERSION 1, 0, 0, 13$'
lines "fixed product version" 1 '^ PRODUCTVERSION 1, 0, 0, 13$'
# windres writes the flags and the subtype only when they are not 0.
lines "flags mask 0" 0 '^ FILEFLAGSMASK '
lines "flags 0" 0 '^ FILEFLAGS '
lines "OS: 32-bit Windows" 1 '^ FILEOS 0x4$'
lines "type: application" 1 '^ FILETYPE 0x1$'
lines "subtype 0" 0 '^ FILESUBTYPE '

lines "one string table" 1 '^    BLOCK "'
lines "Chinese PRC, UTF-16 table" 1 '^    BLOCK "080404B0"$'
lines ProductName 1 '^      VALUE "ProductName", "Tarvelo"$'
lines FileVersion 1 '^      VALUE "FileVersion", "1\.00\.0013"$'
lines ProductVersion 1 '^      VALUE "ProductVersion", "1\.00\.0013"$'
lines InternalName 1 '^      VALUE "InternalName", "Tarvelo"$'
lines OriginalFilename 1 '^      VALUE "OriginalFilename", "Tarvelo\.exe"$'
# Ours to fill; only that they are there.
lines CompanyName 1 '^      VALUE "CompanyName", "[^"]+"$'
lines LegalCopyright 1 '^      VALUE "LegalCopyright", "[^"]+"$'
# Code page 0x04B0, written in decimal.
lines Translation 1 '^    VALUE "Translation", 0x804, 1200$'

# The group gives each image's width, height and colour count as octal bytes.
lines "one icon group" 1 '^[^ ]+ 14 /\* RT_GROUP_ICON \*/'
lines "two icon images" 2 '^[^ ]+ 3 /\* RT_ICON \*/'
lines "32 x 32, 16 colours, 4 bits" 1 '^    "\\040\\040\\020\\000", 1, 4, '
lines "16 x 16, 16 colours, 4 bits" 1 '^    "\\020\\020\\020\\000", 1, 4, '

# windres names a resource's language only where it changes, so the version
# resource's is the last named above it: Chinese (Simplified, PRC), 0x0804.
language=$(sed -n '/^LANGUAGE /h; /^1 VERSIONINFO$/{x;p;q}' "$work/script.rc")
[ "$language" = "LANGUAGE 4, 2" ] || fail "version resource language: '$language'"

[ "$failures" -eq 0 ]
