#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what building and running Tarvelo needs, builds every program
# (the window, tarvelo-count and the rest; no tests) and starts the window.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVELO_BUILD_TESTS=OFF -DTARVELO_BUILD_BENCHMARKS=OFF
cmake --build build
exec ./build/bin/Tarvelo
