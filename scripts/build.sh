#!/usr/bin/env bash
# Configures and builds one preset (default: release). Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
scripts/install-deps.sh "${DEPS:-all}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
