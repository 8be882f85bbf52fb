#!/bin/sh
# Runs a cross-built Windows program under Wine with a private prefix that
# lives in the build tree (the directory CTest runs the test from, or
# ZOLT_WINEPREFIX). The prefix is created on first use; mono/gecko install
# prompts are suppressed because a dialog nobody answers blocks forever.
set -e
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
