#!/bin/sh
# SPDX-License-Identifier: MIT
# Start to first paint and peak memory of Tarvelo against a bare Qt window
# of the same size, and against one that shows a line of Chinese text and
# an input box, alternating runs under one Xvfb server.
# Usage: startup.sh BIN_DIR [RUNS]
set -eu
if [ -z "${TARVELO_IN_XVFB:-}" ]; then
    export TARVELO_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
bin=$1
runs=${2:-9}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for _ in $(seq "$runs"); do
    for probe in bench_start_bare bench_start_text bench_start_tarvelo; do
        start=$(date +%s%N)
        /usr/bin/time -f "%M" -o "$out/rss" "$bin/$probe"
        end=$(date +%s%N)
        echo "$(( (end - start) / 1000 )) $(cat "$out/rss")" >> "$out/$probe"
    done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
bare_us=$(cut -d' ' -f1 "$out/bench_start_bare" | median)
app_us=$(cut -d' ' -f1 "$out/bench_start_tarvelo" | median)
text_us=$(cut -d' ' -f1 "$out/bench_start_text" | median)
bare_kb=$(cut -d' ' -f2 "$out/bench_start_bare" | median)
app_kb=$(cut -d' ' -f2 "$out/bench_start_tarvelo" | median)
text_kb=$(cut -d' ' -f2 "$out/bench_start_text" | median)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
echo "runs: $runs each"
echo "start to first paint, median: bare $bare_us us, text $text_us us, Tarvelo $app_us us;" \
     "Tarvelo/bare $(ratio "$app_us" "$bare_us"), Tarvelo/text $(ratio "$app_us" "$text_us")"
echo "peak RSS, median: bare $bare_kb KiB, text $text_kb KiB, Tarvelo $app_kb KiB;" \
     "Tarvelo/bare $(ratio "$app_kb" "$bare_kb"), Tarvelo/text $(ratio "$app_kb" "$text_kb")"
