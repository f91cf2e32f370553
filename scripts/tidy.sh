#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the message library's sources, or over the files named.
# Usage: scripts/tidy.sh [FILE...]     (at `nice -n 10` on shared machines)
set -euo pipefail
cd "$(dirname "$0")/.."
tidy=$(command -v run-clang-tidy-14 || command -v run-clang-tidy)
cmake --preset lib -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
if [ $# -eq 0 ]; then
    set -- "$PWD/pelmsg/"
fi
"$tidy" -p build/lib -j"$(nproc)" -quiet "$@"
