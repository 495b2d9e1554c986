#!/usr/bin/env bash
# Builds Kalmora with its tests and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALMORA_BENCH=ON >/dev/null
cmake --build build
cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600
