#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what Tarvelo needs, builds it and runs every test.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && ctest --output-on-failure --timeout 600)
