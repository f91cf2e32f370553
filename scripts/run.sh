#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on the bundled sample (or on the file given): converts the
# message into every format quorra writes, shows the text version, and then opens the viewer window on it when a
# display is present.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what this script runs: the program (no tests, no benchmarks).
scripts/install-deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release --target quorra >/dev/null
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
echo
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Opening the viewer window on $input ..."
    exec build/release/app/quorra "$input"
else
    echo "No window opened: there is no display here (DISPLAY and WAYLAND_DISPLAY are unset)."
    echo "On a desktop, run: build/release/app/quorra $input"
    echo "Without one, scripts/screenshots.sh shows the window under Xvfb as PNG pictures."
fi
