#!/bin/sh
# Runs a cross-built Windows program under Wine with a private prefix that
# lives in the build tree (the directory CTest runs the test from, or
# ZOLT_WINEPREFIX). The prefix is created on first use; mono/gecko install
# prompts are suppressed because a dialog nobody answers blocks forever.
set -e
if [ "$1" = --32 ]; then
    shift
    # Without the 32-bit loader Wine cannot run PE32 programs; exit 77 makes
    # CTest report the test as skipped rather than passed or failed.
    if [ ! -x /usr/lib/wine/wine ] && ! command -v wine32 >/dev/null 2>&1; then
        echo "32-bit Wine is not installed: skipping $1" >&2
        exit 77
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
