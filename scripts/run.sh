#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on the bundled sample (or on the file given): converts the
# message into every format quorra writes, then shows the text version.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release >/dev/null
input="${1:-samples/winmail.dat}"
out="out"
mkdir -p "$out"
name="$(basename "${input%.*}")"
for format in txt html xml eml msg; do
    build/release/app/quorra "$input" /E "$format" "$out/$name.$format" /NOINI
done
cat "$out/$name.txt"
echo
echo "Written:"
ls -l "$out/$name".*
