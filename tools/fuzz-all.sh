#!/bin/bash
# Builds the fuzz preset and runs every libFuzzer target for SECONDS each
# (default 60), one per core side by side. Each fuzzer starts from its
# scratch corpus build/fuzz/corpus/<name> (kept between runs, so long runs
# add up) plus the seeds in fuzz/corpus/<name>; its log goes to
# build/fuzz/<name>.log and any crashing input to build/fuzz/artifacts/.
# Prints a line per fuzzer: runs, edges covered (cov), features (ft),
# corpus size, and the outcome. Exits non-zero if any fuzzer found a fault.
#
# Usage: tools/fuzz-all.sh [SECONDS]      (ZOLT_JOBS: fuzzers at a time)
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-60}
jobs=${ZOLT_JOBS:-$(nproc)}
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "$jobs" || exit 1
mkdir -p build/fuzz/artifacts

fuzz_one() {
    f=$1
    n=$(basename "$f")
    corpus="build/fuzz/corpus/$n"
    log="build/fuzz/$n.log"
    mkdir -p "$corpus"
    seeds=""
    [ -d "fuzz/corpus/$n" ] && seeds="fuzz/corpus/$n"
    # New inputs go to the scratch corpus (first directory), never into the
    # source tree.
    "$f" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/"$n"- \
        "$corpus" $seeds >"$log" 2>&1
    rc=$?
    runs=$(grep -m1 stat::number_of_executed_units "$log" | awk '{print $2}')
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(echo "$last" | grep -o 'cov: [0-9]*' | awk '{print $2}')
    ft=$(echo "$last" | grep -o 'ft: [0-9]*' | awk '{print $2}')
    corp=$(echo "$last" | grep -o 'corp: [0-9]*/[0-9a-zA-Z]*' | awk '{print $2}')
    if [ "$rc" -eq 0 ]; then
        printf -- '--- %-22s ok      %12s runs  cov %5s  ft %6s  corpus %s\n' "$n" "$runs" "$cov" "$ft" "$corp"
    else
        printf -- '--- %-22s FAILED  %12s runs  (see %s)\n' "$n" "$runs" "$log"
        tail -40 "$log"
        return 1
    fi
}

export seconds
export -f fuzz_one
echo "fuzzing every target for $seconds s, $jobs at a time"
ls build/fuzz/fuzz/*_fuzz | xargs -P "$jobs" -n 1 bash -c 'fuzz_one "$1"' _
