#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the message library's sources, over the files named, or with
# --changed over the C++ sources this change adds or alters (scripts/changed-files.sh). Library, tool and fuzz
# sources are checked in the lib build, the application's in the release build (which must have been built).
# Fails when clang-tidy reports an error. Usage: scripts/tidy.sh [--changed | FILE...]   (at `nice -n 10` on shared machines)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--changed" ]; then
    mapfile -t files < <(scripts/changed-files.sh | grep '\.cpp$' || true)
    if [ ${#files[@]} -eq 0 ]; then
        echo "tidy: no C++ source changed"
        exit 0
    fi
    set -- "${files[@]/#/$PWD/}"
elif [ $# -eq 0 ]; then
    tidy=$(command -v run-clang-tidy-14 || command -v run-clang-tidy)
    cmake --preset lib -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    exec "$tidy" -p build/lib -j"$(nproc)" -quiet "$PWD/pelmsg/"
fi
# A file the lib build compiles is checked there; the rest (the application, its tests and the tools and
# benchmarks that use Qt) in the release build.
cmake --preset lib -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
lib=() app=()
for file in "$@"; do
    if grep -qF "\"file\": \"$file\"" build/lib/compile_commands.json; then
        lib+=("$file")
    else
        app+=("$file")
    fi
done
status=0
if [ ${#lib[@]} -gt 0 ]; then
    printf '%s\n' "${lib[@]}" | xargs -P"$(nproc)" -n1 clang-tidy-14 -p build/lib --quiet || status=1
fi
if [ ${#app[@]} -gt 0 ]; then
    cmake --preset release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    printf '%s\n' "${app[@]}" | xargs -P"$(nproc)" -n1 clang-tidy-14 -p build/release --quiet || status=1
fi
exit $status
