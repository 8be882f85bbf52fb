#!/bin/sh
# Runs a cross-built Windows program under Wine with a private prefix that
# lives in the build tree (the directory CTest runs the test from, or
# ZOLT_WINEPREFIX). The prefix is created on first use; mono/gecko install
# prompts are suppressed because a dialog nobody answers blocks forever.
set -e
if [ "$1" = --32 ]; then
    shift
    # 32-bit programs run on Wine's 32-bit Linux loader (wine32:i386, which
    # tools/ensure-packages.sh installs): without it that is a failure. A
    # kernel that runs no 32-bit Linux programs at all (some virtual
    # machines have IA-32 emulation off) is the one thing that makes the
    # run impossible here: exit 77, which CTest reports as skipped, never
    # as passed.
    if ! "$(dirname "$0")/../tools/host-runs-32bit.sh"; then
        echo "this machine's kernel does not run 32-bit Linux programs (IA-32 emulation off):" \
            "Wine cannot run $1" >&2
        exit 77
    fi
    if [ ! -x /usr/lib/wine/wine ]; then
        echo "32-bit Wine (wine32:i386) is not installed: run tools/ensure-packages.sh as root" >&2
        exit 1
    fi
fi
if [ -z "$ZOLT_WINEPREFIX" ]; then
    # Find the build tree: walk up from the program until CMakeCache.txt.
    d=$(cd "$(dirname "$1")" && pwd)
    while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
    [ -f "$d/CMakeCache.txt" ] || d=$(pwd)
    ZOLT_WINEPREFIX="$d/wineprefix"
fi
export WINEPREFIX="$ZOLT_WINEPREFIX"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml="
# Wine wants to own its prefix directory.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Serialise the first start when CTest runs tests in parallel.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i >/dev/null 2>&1 || true
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
