#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs the whole
# test suite. Usage: tools/test.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

tools/setup-debian.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
