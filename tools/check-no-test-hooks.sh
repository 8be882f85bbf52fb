#!/bin/sh
# Fails if a launcher library or executable carries a test hook: a symbol
# whose name contains "Test". installer/testhooks.h names every hook so, and
# no other symbol of the launcher or the runtime has that word in its name.
#
# Usage: tools/check-no-test-hooks.sh [--expect-hooks] <nm> <file>...
#   <nm>            nm of the target (its gcc-nm also reads link-time
#                   optimised objects)
#   --expect-hooks  the other way round, for test builds: fails unless every
#                   file carries hooks, which shows that the check still
#                   finds them.
# A stripped executable has no symbols to show; check its library with it.
expect=no
if [ "$1" = --expect-hooks ]; then
    expect=yes
    shift
fi
[ $# -ge 2 ] || { echo "usage: $0 [--expect-hooks] <nm> <file>..." >&2; exit 2; }
nm=$1
shift
status=0
for file in "$@"; do
    [ -f "$file" ] || { echo "$file: no such file" >&2; status=1; continue; }
    # Defined and undefined symbols alike: a call into a hook is as bad as
    # the hook itself.
    hooks=$("$nm" "$file" 2>/dev/null | awk '{ print $NF }' | grep 'Test' | sort -u)
    if [ $expect = no ] && [ -n "$hooks" ]; then
        echo "$file carries test hooks:" >&2
        echo "$hooks" | sed 's/^/  /' >&2
        status=1
    elif [ $expect = yes ] && [ -z "$hooks" ]; then
        echo "$file carries no test hook, but it is a test build: the check would not see one" >&2
        status=1
    fi
done
exit $status
