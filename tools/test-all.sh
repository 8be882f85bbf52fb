#!/bin/bash
# Runs every test suite: format check, native, sanitizers (ASan+UBSan, TSan),
# win64 under Wine, win32 (tests run only where 32-bit Wine exists and are
# reported as skipped elsewhere), the fuzzers for ZOLT_FUZZ_SECONDS each
# (default 60), and builds the benchmarks. Every suite runs even after a
# failure; the exit status is non-zero if any failed.
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

# One fuzzer for fuzz_seconds; its log goes to build/fuzz/<name>.log.
fuzz_one() {
    f=$1
    n=$(basename "$f")
    corpus="build/fuzz/corpus/$n"
    mkdir -p "$corpus"
    seeds=""
    [ -d "fuzz/corpus/$n" ] && seeds="fuzz/corpus/$n"
    # New inputs go to the scratch corpus (first directory), never into the
    # source tree.
    if "$f" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" $seeds >"build/fuzz/$n.log" 2>&1; then
        echo "--- $n: ok ($(grep -m1 stat::number_of_executed_units "build/fuzz/$n.log" | awk '{print $2}') runs)"
    else
        echo "--- $n: FAILED"; tail -40 "build/fuzz/$n.log"; return 1
    fi
}

fuzz() {
    cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "$jobs" || return 1
    # The fuzzers run side by side, one per core.
    export fuzz_seconds
    export -f fuzz_one
    ls build/fuzz/fuzz/*_fuzz | xargs -P "$jobs" -n 1 bash -c 'fuzz_one "$1"' _
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
step fuzz fuzz
step bench-build bench_build
wineserver -k 2>/dev/null || true

if [ -n "$failed" ]; then
    echo "FAILED:$failed"
    exit 1
fi
echo "all suites passed"
