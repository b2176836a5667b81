#!/bin/sh
# SPDX-License-Identifier: MIT
# Start to first paint (from just before a program is started to the time
# it prints at its first paint) and peak memory of Tarvelo against a bare Qt
# window of the same size, and against that window with a line of Chinese
# text and an input box, or opening the stroke database: what any window
# pays for text, and what any window pays for the database. The floor is a
# window that does both, in the windows' own font: what any Tarvelo pays.
# Runs alternate under one Xvfb server.
# Usage: startup.sh BIN_DIR [RUNS]
set -eu
if [ -z "${TARVELO_IN_XVFB:-}" ]; then
    export TARVELO_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
bin=$1
runs=${2:-9}
out=$(mktemp -d)
probes="bench_start_bare bench_start_text bench_start_database bench_start_floor bench_start_tarvelo bench_start_list"
trap 'rm -rf "$out"' EXIT

for _ in $(seq "$runs"); do
    for probe in $probes; do
        start=$(date +%s%N)
        painted=$(/usr/bin/time -f "%M" -o "$out/rss" "$bin/$probe")
        echo "$(( (painted - start) / 1000 )) $(cat "$out/rss")" >> "$out/$probe"
    done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
bare_us=$(cut -d' ' -f1 "$out/bench_start_bare" | median)
bare_kb=$(cut -d' ' -f2 "$out/bench_start_bare" | median)
floor_us=$(cut -d' ' -f1 "$out/bench_start_floor" | median)
floor_kb=$(cut -d' ' -f2 "$out/bench_start_floor" | median)
echo "medians of $runs runs each; ratios are to the bare window and to the floor"
printf '%-22s %12s %7s %7s %12s %7s %7s\n' probe "paint (us)" bare floor "RSS (KiB)" bare floor
for probe in $probes; do
    us=$(cut -d' ' -f1 "$out/$probe" | median)
    kb=$(cut -d' ' -f2 "$out/$probe" | median)
    printf '%-22s %12s %7s %7s %12s %7s %7s\n' "$probe" \
        "$us" "$(ratio "$us" "$bare_us")" "$(ratio "$us" "$floor_us")" \
        "$kb" "$(ratio "$kb" "$bare_kb")" "$(ratio "$kb" "$floor_kb")"
done
