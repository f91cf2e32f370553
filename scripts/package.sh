#!/usr/bin/env bash
# Builds the Debian packages into build/<preset>/packages/ (preset release unless PRESET is set):
# quorra_<version>_<arch>.deb (the program) and libpelmsg-dev_<version>_<arch>.deb (the library for developers).
# Reuses the release build folder: only the program, pelmsg-dump and the packaged files are built, not the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-release}"
"$(pwd)/scripts/install-deps.sh" build
command -v dpkg-shlibdeps >/dev/null || { echo "package.sh: dpkg-shlibdeps is missing (apt-get install dpkg-dev)" >&2; exit 1; }
export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}"
# Installing (and so packaging) must not build the whole tree first.
cmake --preset "$preset" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build --preset "$preset" --target package_files
bin="build/$preset"
rm -rf "$bin/packages"
cpack --config "$bin/CPackConfig.cmake" -B "$bin/packages" >/dev/null
rm -rf "$bin/packages/_CPack_Packages"
ls "$bin"/packages/*.deb
