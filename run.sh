#!/usr/bin/env bash
# Builds Kalmora and starts it; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
exec build/app/kalmora "$@"
