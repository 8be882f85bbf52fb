#!/bin/sh
# Usage: check-imports.sh [--only DLL,DLL...] OBJDUMP FILE...
# Fails if a PE file imports a DLL outside the allow-list of system DLLs.
# Anything else (libgcc_s, libstdc++, libwinpthread) would be looked up in
# the executable's own folder first: a DLL-planting hole. --only replaces
# the list with a stricter one (names without ".dll"), for programs that
# must not even load the other system DLLs at start.
allowed='^(kernel32|ntdll|user32|gdi32|advapi32|msvcrt|ucrtbase|shell32|ole32|shlwapi|gdiplus|crypt32|msi|comctl32|ws2_32|api-ms-win-crt-[a-z0-9-]+)\.dll$'
if [ "$1" = --only ]; then
    allowed="^($(echo "$2" | tr 'A-Z,' 'a-z|'))\\.dll$"
    shift 2
fi
objdump=$1; shift
rc=0
for f in "$@"; do
    dlls=$("$objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
    [ -n "$dlls" ] || { echo "$f: no import table found"; rc=1; continue; }
    for d in $dlls; do
        if ! echo "$d" | grep -Eq "$allowed"; then
            echo "$f imports non-system DLL: $d"; rc=1
        fi
    done
    echo "$f imports:" $dlls
done
exit $rc
