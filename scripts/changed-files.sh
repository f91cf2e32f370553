#!/usr/bin/env bash
# Prints the C++ sources and headers this change adds or alters against the merge base with the main branch
# (TESSALY_BASE, else main, else origin/main; without either, the last commit), one a line. Files only moved are
# left out. With --base, prints the merge base instead.
set -euo pipefail
cd "$(dirname "$0")/.."
base=""
for candidate in ${TESSALY_BASE:-} main origin/main; do
    if base="$(git merge-base HEAD "$candidate" 2>/dev/null)"; then
        break
    fi
    base=""
done
[ -n "$base" ] && [ "$base" != "$(git rev-parse HEAD)" ] || base="$(git rev-parse HEAD~1)"
if [ "${1:-}" = "--base" ]; then
    echo "$base"
    exit 0
fi
git diff -M --name-status "$base" -- '*.cpp' '*.h' | awk '$1 == "A" || $1 == "M" { print $2 } $1 ~ /^R/ && $1 != "R100" { print $3 }'
