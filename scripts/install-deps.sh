#!/usr/bin/env bash
# Installs every Debian package Tessaly needs to build, test and run.
# Idempotent: packages already present are left alone. Runs apt-get as root,
# through sudo otherwise.
set -euo pipefail

# file: CPack finds the binaries dpkg-shlibdeps reads with it (scripts/package.sh).
build_pkgs=(build-essential cmake ninja-build pkg-config libicu-dev qt6-base-dev qt6-webengine-dev file)
# What the window needs to run: Qt's platform plugins (xcb and offscreen), the SVG icon plugin, an X server for
# tests and screenshots (Xvfb), fonts for Latin and CJK text, xdg-utils for opening links and mail, and the
# shared MIME database and desktop-file tools that registering as the default viewer uses, and Qt's own
# translations (the buttons of Qt's dialogs in the language chosen).
run_pkgs=(qt6-qpa-plugins libqt6svg6 xvfb xauth xdg-utils fonts-dejavu-core fonts-noto-cjk
          shared-mime-info desktop-file-utils qt6-translations-l10n)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
           python3 python3-olefile libgsf-bin libgsf-1-dev libxml2-utils tnef ytnef-tools libmime-tools-perl
           libemail-outlook-message-perl libemail-address-perl
           python3-icalendar python3-vobject python3-dateutil hyperfine
           clang-tidy clang-format
           khal calcurse khard
           exim4-daemon-light
           lintian appstream man-db bash-completion
           poppler-utils python3-html5lib)

wanted=("${build_pkgs[@]}" "${run_pkgs[@]}")
case "${1:-all}" in
    build) ;;
    all|test) wanted+=("${test_pkgs[@]}") ;;
    *) echo "usage: $0 [build|test|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
