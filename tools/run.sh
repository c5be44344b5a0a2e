#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Quorvel, lays out an application
# folder (app/) with the real idiom database, and starts the dictionary.
# Usage: tools/run.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

tools/setup-debian.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target Quorvel

mkdir -p app
cp "$build/dictionary/Quorvel" app/Quorvel
if [ ! -f app/data.dll ] && [ -x tools/idioms/build-database.sh ]; then
    tools/idioms/build-database.sh "$build" app/data.dll
fi

# WebEngine's sandbox and GPU need a normal user and a display; as root on a
# headless machine, turn them off for this run only.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
    export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" app/Quorvel
fi
exec app/Quorvel
