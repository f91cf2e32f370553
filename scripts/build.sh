#!/usr/bin/env bash
# Configures and builds one preset (default: release). Installs missing packages first. Further arguments go to
# the configure step (-DNAME=VALUE); TESSALY_WERROR=ON makes every warning an error.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
shift || true
scripts/install-deps.sh "${DEPS:-all}"
cmake --preset "$preset" -DCMAKE_COMPILE_WARNING_AS_ERROR="${TESSALY_WERROR:-OFF}" "$@" >/dev/null
cmake --build --preset "$preset"
