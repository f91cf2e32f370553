#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on the bundled sample (or on the file given).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release >/dev/null
sample="${1:-samples/winmail.dat}"
build/release/tools/pelmsg-dump "$sample"
