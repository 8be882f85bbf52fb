#!/bin/sh
# The main job until the launcher exists: builds the runtime and its tests
# for every preset (Linux, win64, win32).
set -e
cd "$(dirname "$0")/.."
tools/ensure-packages.sh
for preset in native win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
echo "built: native, win64, win32 (see build/<preset>)"
