#!/bin/sh
# Fails if any of our C++ sources differs from what clang-format makes of it.
# Usage: tools/check-format.sh [--fix]
cd "$(dirname "$0")/.." || exit 1
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null)
[ -n "$files" ] || files=$(find include Runtime installer tests fuzz bench tools -name '*.cpp' -o -name '*.h' 2>/dev/null)
if [ "$1" = --fix ]; then
    clang-format -i $files
else
    clang-format --dry-run -Werror $files
fi
