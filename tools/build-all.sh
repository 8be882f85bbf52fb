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
# The demo launcher, extract-only, under Wine: every package lands in a
# directory of its own.
demo_dir=build/win64/demo-extract
rm -rf "$demo_dir"
ZOLT_WINEPREFIX="$PWD/build/win64/wineprefix" cmake/wine-run.sh build/win64/installer/MarrowdaleInstaller.exe \
    --extract --silent --path "Z:$(echo "$PWD/$demo_dir" | tr / '\\')"
ls -l "$demo_dir"
