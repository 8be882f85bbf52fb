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

# The release launchers (size-optimised, link-time optimised): they build,
# import only the DLLs they may load at start-up, carry the PE hardening
# the loader sees (tests/e2e/release/pe_hardening.py), and their sizes are
# shown. Of the 32-bit release build only the launcher is built.
release_build() {
    cmake --preset win64-release >/dev/null && cmake --build --preset win64-release -j "$jobs" || return 1
    cmake --preset win32-release >/dev/null &&
        cmake --build --preset win32-release -j "$jobs" --target marrowdale_installer || return 1
    exe64=build/win64-release/installer/MarrowdaleInstaller.exe
    exe32=build/win32-release/installer/MarrowdaleInstaller.exe
    tools/check-imports.sh --only kernel32,ntdll,user32,gdi32,shlwapi x86_64-w64-mingw32-objdump "$exe64" &&
        tools/check-imports.sh --only kernel32,ntdll,user32,gdi32,shlwapi i686-w64-mingw32-objdump "$exe32" &&
        python3 tests/e2e/release/pe_hardening.py "$exe64" "$exe32" &&
        echo "release launchers with the demo payload: x86-64 $(stat -c %s "$exe64") bytes," \
            "x86 $(stat -c %s "$exe32") bytes"
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
