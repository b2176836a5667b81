#!/bin/sh
# SPDX-License-Identifier: MIT
# tarvelo-count as installed: into a temporary prefix, and from the Debian
# package, which must also pass lintian without an error or a warning.
#   installed.sh prefix BUILD_DIR
#   installed.sh package BUILD_DIR
set -eu

mode=$1
build=$(cd "$2" && pwd)
. "$(dirname "$0")/../common/check.sh"

# Runs the program through its link on the PATH, from an empty folder, and
# checks that it finds its database beside itself.
check_program() {
    root=$1
    elsewhere=$(mktemp -d "$work/cwd.XXXXXX")
    [ -L "$root/bin/tarvelo-count" ] || fail "bin/tarvelo-count is not a link"
    got=$(cd "$elsewhere" && "$root/bin/tarvelo-count" 汉字 𠮷野家) || fail "exit status $? with its database"
    [ "$got" = "$(printf '11\t汉字\n27\t𠮷野家')" ] || fail "printed: $got"
    got=$(cd "$elsewhere" && "$root/bin/tarvelo-count" --with-strokes 1 --common | tr '\n' ' ')
    [ "$got" = "$(printf '一\t1 乙\t1 ')" ] || fail "--with-strokes 1 --common printed: $got"
    warnings=$(man --warnings -E UTF-8 -l "$root/share/man/man1/tarvelo-count.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page: $warnings"
    [ -f "$root/share/man/man1/tarvelo.1.gz" ] || fail "no manual page for tarvelo"

    [ -L "$root/bin/tarvelo-sort" ] || fail "bin/tarvelo-sort is not a link"
    got=$(cd "$elsewhere" && printf '李四\n王五\n丁一\n' | "$root/bin/tarvelo-sort" | tr '\n' ' ') \
        || fail "tarvelo-sort: exit status $?"
    [ "$got" = "丁一 王五 李四 " ] || fail "tarvelo-sort printed: $got"
    for rule in 姓氏:王毅 姓名:王沪宁; do
        got=$(cd "$elsewhere" && printf '王沪宁\n王毅\n' | "$root/bin/tarvelo-sort" --rule "${rule%%:*}" | head -n 1)
        [ "$got" = "${rule#*:}" ] || fail "tarvelo-sort --rule ${rule%%:*} put $got first"
    done
    got=$(cd "$elsewhere" && "$root/bin/tarvelo-count" --each --sequence 汉)
    [ "$got" = "$(printf '汉\t5\t丶丶一乛丶')" ] || fail "--each --sequence printed: $got"
    warnings=$(man --warnings -E UTF-8 -l "$root/share/man/man1/tarvelo-sort.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "tarvelo-sort's manual page: $warnings"
    for page in tarvelo tarvelo-count tarvelo-sort tarvelo-list; do
        file="$root/share/man/zh_CN/man1/$page.1.gz"
        [ -f "$file" ] || fail "no Chinese manual page for $page"
        warnings=$(man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$page's Chinese manual page: $warnings"
    done

    mv "$root/lib/tarvelo/Refcom.dll" "$work/Refcom.dll"
    status=0
    (cd "$elsewhere" && "$root/bin/tarvelo-count" 汉字) >"$work/out" 2>"$work/err" || status=$?
    mv "$work/Refcom.dll" "$root/lib/tarvelo/Refcom.dll"
    [ "$status" = 2 ] || fail "without its database: exit status $status, expected 2"
    grep -q "Refcom.dll" "$work/err" || fail "without its database it said: $(cat "$work/err")"
}

case $mode in
prefix)
    cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 \
        || { cat "$work/install.log" >&2; fail "cmake --install"; }
    check_program "$work/prefix"
    ;;
package)
    (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb") \
        >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
    deb=$(ls "$work"/deb/*.deb)
    lintian "$deb" >"$work/lintian.log" 2>&1 || true
    if grep -E '^[EW]: ' "$work/lintian.log"; then
        fail "lintian reports the errors and warnings above"
    fi
    dpkg-deb -x "$deb" "$work/root"
    check_program "$work/root/usr"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS: $mode"
