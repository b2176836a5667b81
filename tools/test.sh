#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what Tarvelo needs, builds it and runs every test: the suite,
# each fuzz target for a bounded time, then the suite again with
# AddressSanitizer and UndefinedBehaviorSanitizer (CMakePresets.json).
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh test

cmake --preset default
cmake --build --preset default
ctest --preset default

root=$(pwd)

# Each fuzz target from its seed corpus; a crash, a broken invariant or an
# input slower than the timeout fails the run.
fuzz_targets="okcommand rtfreader count sort sequences workbook"
cmake --preset fuzz
for target in $fuzz_targets; do
    cmake --build --preset fuzz --target "fuzz_$target"
done
fuzz_seconds=${TARVELO_FUZZ_SECONDS:-60}
for target in $fuzz_targets; do
    corpus=$(mktemp -d)
    echo "fuzzing $target for $fuzz_seconds s"
    status=0
    (cd "$corpus" && "$root/build-fuzz/bin/fuzz_$target" -max_total_time="$fuzz_seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$corpus/" "$corpus" "$root/tests/fuzz/$target") \
        > "$corpus.log" 2>&1 || status=$?
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$corpus.log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$corpus.log"
        echo "fuzz target $target failed (status $status); the input is kept in $corpus"
        exit 1
    fi
    rm -rf "$corpus" "$corpus.log"
done

# Any sanitizer report ends the test that made it, and that fails the run.
# Leaks that third-party libraries keep until exit are suppressed in
# tests/lsan.supp.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
