#!/usr/bin/env bash
# Checks that the lines this change adds or alters are formatted as .clang-format says (clang-format 14), against
# the merge base that scripts/changed-files.sh finds (a moved file counts only its altered lines); prints what
# clang-format would change and fails when it would change anything. Lines the change does not touch stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
base="$(scripts/changed-files.sh --base)"
# "FILE --lines=A:B --lines=C:D ..." for every C++ file with added or altered lines.
mapfile -t jobs < <(git diff -M -U0 --diff-filter=AMR "$base" -- '*.cpp' '*.h' | awk '
    /^\+\+\+ / { if (file != "" && lines != "") print file lines; file = substr($2, 3); lines = ""; next }
    /^@@ / { split($3, r, ","); n = (r[2] == "" ? 1 : r[2]); s = substr(r[1], 2);
             if (n > 0) lines = lines " --lines=" s ":" (s + n - 1) }
    END { if (file != "" && lines != "") print file lines }')
status=0
for job in "${jobs[@]}"; do
    read -r -a words <<<"$job"
    if ! clang-format-14 --dry-run --Werror "${words[@]:1}" "${words[0]}"; then
        status=1
    fi
done
if [ $status -ne 0 ]; then
    echo "format: the lines above are not formatted as .clang-format says (clang-format-14 -i --lines=A:B FILE)" >&2
else
    echo "format: the altered lines of ${#jobs[@]} files are clean"
fi
exit $status
