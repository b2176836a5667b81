#!/bin/sh
# SPDX-License-Identifier: MIT
# Drives the real list window under Xvfb with a window manager: rows put on
# the X clipboard by another program are pasted with Ctrl+V, sorted with
# Alt+S and copied back with Ctrl+C, and the clipboard then holds them in
# stroke order; grouped by another column first, then undone with Ctrl+Z;
# then ordered under the other name rule. The window's class is its
# desktop entry's. Then a copy without its database shows one error box and
# ends with a failure status.
# Usage: realwindow.sh PATH/TO/tarvelo-list SHOT_DIR
set -eu

. "$(dirname "$0")/../common/xdisplay.sh"
x_display_enter 1024x768 none

app=$1
shots=$2
mkdir -p "$shots"

# Long enough for a slow, shared machine.
tries=100
pause=0.2

# The rule chosen here is remembered; it must not reach other runs.
export XDG_CONFIG_HOME="$work/config"

# 乙 has 1 stroke and 甲 5; 王毅 comes before 王沪宁 按姓氏笔画 only.
rows() { printf '序号\t姓名\t单位\r\n'; for row in "$@"; do sed -n "${row}p" "$work/rows"; done; }
printf '1\t王沪宁\t甲办\r\n2\t王毅\t"甲\t办"\r\n3\t丁一\t甲办\r\n4\t李强\t乙办\r\n' >"$work/rows"
rows 1 2 3 4 >"$work/pasted"
rows 3 2 1 4 >"$work/expected"

x_open "$app" "$work" "$work/app.log" 名单笔画排序 || fail "no window appeared and got the focus"
win=$APP_WINDOW
xprop -id "$win" WM_CLASS | grep -q '"tarvelo-list"$' || fail "window class: $(xprop -id "$win" WM_CLASS)"

# Another program owns the clipboard, as a spreadsheet would, once it
# serves the rows.
xclip -quiet -selection clipboard -t UTF8_STRING -i "$work/pasted" >/dev/null 2>&1 &
at_exit "kill $! 2>/dev/null"
for _ in $(seq "$tries"); do
    xclip -selection clipboard -t UTF8_STRING -o 2>/dev/null | cmp -s - "$work/pasted" && break
    sleep "$pause"
done

# A key that comes before the window is ready for it does nothing, so paste,
# sort and copy until the rows come back in order. A paste after a copy
# takes the same rows again.
copied=""
for _ in $(seq "$tries"); do
    xdotool key ctrl+v alt+s ctrl+c
    sleep "$pause"
    xclip -selection clipboard -t UTF8_STRING -o >"$work/copied" 2>/dev/null || true
    if cmp -s "$work/copied" "$work/expected"; then
        copied=yes
        break
    fi
done
import -window root "$shots/list-sorted.png"
[ -n "$copied" ] || { od -c "$work/copied" | head; fail "the clipboard did not get the sorted rows"; }
echo "pasted, sorted and copied back through the X clipboard"

# copy_gives EXPECTED KEYS...: presses KEYS (again, until the copy comes
# back as EXPECTED; keys that give the same result however often pressed).
copy_gives() {
    expected=$1
    shift
    for _ in $(seq "$tries"); do
        [ $# -eq 0 ] || xdotool key "$@"
        xdotool key ctrl+c
        sleep "$pause"
        xclip -selection clipboard -t UTF8_STRING -o >"$work/copied" 2>/dev/null || true
        cmp -s "$work/copied" "$expected" && return 0
    done
    od -c "$work/copied" | head
    return 1
}

# The last entry of 先按此列分组 is the third column, 单位: 乙办 before 甲办.
rows 4 3 2 1 >"$work/grouped"
copy_gives "$work/grouped" alt+g End || fail "grouping by 单位 did not order the rows"
import -window root "$shots/list-grouped.png"
xdotool key ctrl+z
copy_gives "$work/expected" || fail "Ctrl+Z did not undo the grouping"
echo "sorted by two keys and undone"

# The second rule, 按姓名笔画, puts 王沪宁 before 王毅.
rows 3 1 2 4 >"$work/byname"
copy_gives "$work/byname" alt+u Home Down || fail "the rule 按姓名笔画 did not reorder the rows"
import -window root "$shots/list-byname.png"
echo "the rule choice reordered the list"

x_end_with "$win" alt+F4 || fail "the window lost the focus"
[ "$APP_STATUS" -eq 0 ] || fail "closing ended with status $APP_STATUS"

# Without its database the program shows one error box and never its window.
cp "$app" "$work/tarvelo-list"
x_open "$work/tarvelo-list" "$work" /dev/null 名单笔画排序 || fail "no error box got the focus"
[ "$(x_windows | wc -l)" -eq 1 ] || fail "more than one window without a database"
x_end_with "$APP_WINDOW" Return || fail "the error box lost the focus"
[ "$APP_STATUS" -ne 0 ] && [ "$APP_STATUS" -ne 124 ] || fail "a missing database ended with status $APP_STATUS"
echo "real window checks passed"
