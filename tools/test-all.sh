#!/bin/bash
# Runs every test suite: format check, native, sanitizers (ASan+UBSan, TSan),
# win64 under Wine, win32 (the same tests, on the 64-bit prefix's 32-bit
# side; skipped only where the kernel runs no 32-bit Linux programs), the
# release launcher, the fuzzers for
# ZOLT_FUZZ_SECONDS each (default 60), and builds the benchmarks. Every
# suite runs even after a failure; the exit status is non-zero if any failed.
cd "$(dirname "$0")/.." || exit 1
tools/ensure-packages.sh || exit 1
fuzz_seconds=${ZOLT_FUZZ_SECONDS:-60}
jobs=${ZOLT_JOBS:-$(nproc)}
failed=""

step() {
    name=$1; shift
    echo "=== $name"
    if "$@"; then echo "=== $name: ok"; else echo "=== $name: FAILED"; failed="$failed $name"; fi
}

suite() {
    preset=$1
    cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" -j "$jobs" &&
        ctest --preset "$preset" -j "$jobs"
}

# The release launcher (size-optimised, link-time optimised): it builds,
# imports only the DLLs it may load at start-up, and its size is shown.
release_build() {
    cmake --preset win64-release >/dev/null && cmake --build --preset win64-release -j "$jobs" || return 1
    exe=build/win64-release/installer/MarrowdaleInstaller.exe
    tools/check-imports.sh --only kernel32,ntdll,user32,gdi32,shlwapi x86_64-w64-mingw32-objdump "$exe" &&
        echo "release launcher with the demo payload: $(stat -c %s "$exe") bytes"
}

bench_build() {
    cmake --preset bench >/dev/null && cmake --build --preset bench -j "$jobs"
}

step format tools/check-format.sh
step native suite native
step asan suite asan
step tsan suite tsan
step win64 suite win64
step win32 suite win32
step release release_build
step fuzz tools/fuzz-all.sh "$fuzz_seconds"
step bench-build bench_build
wineserver -k 2>/dev/null || true

if [ -n "$failed" ]; then
    echo "FAILED:$failed"
    exit 1
fi
echo "all suites passed"
