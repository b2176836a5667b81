#!/bin/sh
# SPDX-License-Identifier: MIT
# tarvelo-count as a whole process, from start to exit with its database
# loading, on a file of 10,000,000 GB2312 characters in lines of 50; its
# loading alone; its peak memory on that file and on one ten times larger; and
# a field of a CSV file of 1,000,000 rows (-t, -k 1) against cut -d, -f1; and
# --strict on 30 MB of letters against the same count without it.
#   sh bench/count.sh BIN_DIR [RUNS]
set -eu

bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
runs=${2:-11}
program=$bin/tarvelo-count
[ -x "$program" ] || { echo "no tarvelo-count in $bin" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every character of a valid GB2312 double-byte code, drawn at random.
python3 - "$work/text.txt" <<'PY'
import random, sys
characters = []
for lead in range(0xB0, 0xF8):
    for trail in range(0xA1, 0xFF):
        try:
            characters.append(bytes([lead, trail]).decode("gb2312"))
        except UnicodeDecodeError:
            pass
rng = random.Random(2013)
lines = 10_000_000 // 50
with open(sys.argv[1], "w", encoding="utf-8") as out:
    for _ in range(lines):
        out.write("".join(rng.choices(characters, k=50)) + "\n")
PY
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$work/text.txt"; done >"$work/text10.txt"

# The whole count, the program with nothing to count (start and loading),
# and the program that only starts (its version).
python3 "$here/paired.py" "$runs" \
    "count 10M characters" "$program -f $work/text.txt" \
    "start and load only" "$program" \
    "start only (--version)" "$program --version" \
    --difference "start and load only" "start only (--version)"

for file in text.txt text10.txt; do
    size=$(wc -c <"$work/$file")
    peak=$(/usr/bin/time -f %M "$program" -f "$work/$file" 2>&1 >/dev/null)
    echo "peak RSS on $file ($size bytes): $peak KiB"
done

# A staff list as a spreadsheet exports it: a header, names of two or three
# characters, a few plain columns.
python3 - "$work/rows.csv" <<'PY'
import random, sys
rng = random.Random(19)
characters = [chr(c) for c in range(0x4E00, 0x9FA5)]
departments = ["技术部", "财务部", "后勤部", "销售部", "人事部"]
with open(sys.argv[1], "w", encoding="utf-8") as out:
    out.write("姓名,部门,工号,入职日期,备注\n")
    for i in range(1_000_000):
        name = "".join(rng.choices(characters, k=rng.choice([2, 3, 3])))
        out.write(f"{name},{rng.choice(departments)},{100000 + i},2020-{rng.randint(1, 12):02d}-01,无\n")
PY
python3 "$here/paired.py" "$runs" \
    "-t, -k 1 on 1M rows" "$program -t , -k 1 -f $work/rows.csv" \
    "cut -d, -f1 on them" "cut -d, -f1 $work/rows.csv" \
    --ratio "-t, -k 1 on 1M rows" "cut -d, -f1 on them"

# The worst case of --strict: 30 MB of letters, each with a report.
python3 - "$work/letters.txt" <<'PY'
import random, string, sys
rng = random.Random(14)
lines = ["".join(rng.choices(string.ascii_lowercase, k=63)) + "\n" for _ in range(1000)]
with open(sys.argv[1], "w", encoding="ascii") as out:
    for _ in range(480):
        out.writelines(lines)
PY
python3 "$here/paired.py" "$runs" \
    "--strict on 30 MB letters" "$program --strict -f $work/letters.txt" \
    "the same without --strict" "$program -f $work/letters.txt" \
    --ratio "--strict on 30 MB letters" "the same without --strict"
