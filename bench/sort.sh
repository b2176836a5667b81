#!/bin/sh
# SPDX-License-Identifier: MIT
# tarvelo-sort as a whole process, from start to exit with its loading: on
# 1,000,000 names of 2 to 4 characters (about 9 MB of UTF-8) under each
# rule, paired with each other (姓名 is the character-by-character order
# the others are measured against) and with the C locale's sort(1) on the
# same file; on a list of 40 names; and its peak memory on the large file.
# BASELINE, another build's tarvelo-sort (with its database beside it), is
# paired with the default rule too.
#   sh bench/sort.sh BIN_DIR [RUNS [BASELINE]]
set -eu

bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
runs=${2:-11}
baseline=${3:-}
program=$bin/tarvelo-sort
[ -x "$program" ] || { echo "no tarvelo-sort in $bin" >&2; exit 1; }
[ -z "$baseline" ] || [ -x "$baseline" ] || { echo "no program $baseline" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Names: a common surname, then one to three characters of GB2312's first
# level, drawn at random.
python3 - "$work/names.txt" "$work/names40.txt" <<'PY'
import random, sys
surnames = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤"
given = []
for lead in range(0xB0, 0xD8):
    for trail in range(0xA1, 0xFF):
        try:
            given.append(bytes([lead, trail]).decode("gb2312"))
        except UnicodeDecodeError:
            pass
rng = random.Random(2013)
def name():
    return rng.choice(surnames) + "".join(rng.choices(given, k=rng.randint(1, 3)))
with open(sys.argv[1], "w", encoding="utf-8") as out:
    for _ in range(1_000_000):
        out.write(name() + "\n")
with open(sys.argv[2], "w", encoding="utf-8") as out:
    for _ in range(40):
        out.write(name() + "\n")
PY

set -- \
    "姓氏, 1M names" "$program $work/names.txt" \
    "姓名, 1M names" "$program --rule 姓名 $work/names.txt" \
    "繁體, 1M names" "$program --rule 繁體 $work/names.txt" \
    "sort(1) in the C locale" "env LC_ALL=C sort $work/names.txt" \
    "姓氏, 40 names" "$program $work/names40.txt" \
    "繁體, 40 names" "$program --rule 繁體 $work/names40.txt"
[ -z "$baseline" ] || set -- "$@" \
    "baseline, 1M names" "$baseline $work/names.txt" \
    "baseline, 40 names" "$baseline $work/names40.txt"
set -- "$@" \
    --ratio "姓氏, 1M names" "姓名, 1M names" \
    --ratio "姓氏, 1M names" "sort(1) in the C locale" \
    --ratio "繁體, 1M names" "姓名, 1M names"
[ -z "$baseline" ] || set -- "$@" \
    --ratio "姓氏, 1M names" "baseline, 1M names" \
    --ratio "姓氏, 40 names" "baseline, 40 names"
python3 "$here/paired.py" "$runs" "$@"

size=$(wc -c <"$work/names.txt")
peak=$(/usr/bin/time -f %M "$program" "$work/names.txt" 2>&1 >/dev/null)
echo "peak RSS on names.txt ($size bytes): $peak KiB"
