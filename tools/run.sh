#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what Tarvelo needs, builds it and starts it.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target Tarvelo
exec ./build/bin/Tarvelo
