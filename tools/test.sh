#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what Tarvelo needs, builds it and runs every test.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && ctest --output-on-failure --timeout 600)

root=$(pwd)

# Each fuzz target for a bounded time from its seed corpus; a crash, a
# broken invariant or an input slower than the timeout fails the run.
cmake --preset fuzz
cmake --build build-fuzz --target fuzz_strokecount fuzz_rtfreader
fuzz_seconds=${TARVELO_FUZZ_SECONDS:-60}
for target in strokecount rtfreader; do
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

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer:
# any report ends the test that made it, and that fails the run. Leaks that
# third-party libraries keep until exit are suppressed in tests/lsan.supp.
cmake --preset asan
cmake --build build-asan
(cd build-asan \
    && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
       ctest --output-on-failure --timeout 1200)
