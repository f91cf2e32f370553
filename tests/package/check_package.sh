#!/usr/bin/env bash
# Makes the Debian packages from a built tree and checks them as a user's machine would see them:
#   check_package.sh SOURCE_DIR BUILD_DIR
# The file list against the install manifest, desktop-file-validate, appstreamcli validate, lintian (errors and
# warnings fail, but for the overrides the package ships with their reasons), the unpacked quorra --version and a
# conversion, the manual page against --help, and a program built against libpelmsg-dev with find_package(pelmsg).
# Exits 77 (skipped) when dpkg-deb, cpack or lintian is missing.
set -euo pipefail
src="$1"; build="$2"
for tool in dpkg-deb lintian cpack desktop-file-validate appstreamcli dpkg-shlibdeps man; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version="$(sed -n 's/^CPACK_PACKAGE_VERSION:.*=//p; s/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake" | head -1)"
[ -n "$version" ] || fail "no package version in $build/CPackConfig.cmake"

# The packages, from the installed files of this build (nothing is compiled again).
cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
arch="$(dpkg --print-architecture)"
deb="$work/packages/quorra_${version}_${arch}.deb"
dev="$work/packages/libpelmsg-dev_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $deb (made: $(ls "$work/packages"))"
[ -f "$dev" ] || fail "no $dev"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version) is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
case "$depends" in *libqt6widgets6*) ;; *) fail "dpkg-shlibdeps left out Qt: $depends" ;; esac

# The file list of each package against what the install step of its component writes.
for pair in "quorra:$deb" "dev:$dev"; do
    component="${pair%%:*}"; file="${pair#*:}"
    DESTDIR="$work/manifest-$component" cmake --install "$build" --prefix /usr --component "$component" >/dev/null
    sed 's|^.*/manifest-'"$component"'||' "$build/install_manifest_$component.txt" | sort > "$work/manifest.txt"
    dpkg-deb -c "$file" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort > "$work/contents.txt"
    diff -u "$work/manifest.txt" "$work/contents.txt" || fail "$component: the package's files differ from the install manifest"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$dev" "$work/dev"
for f in usr/bin/quorra usr/bin/pelmsg-dump usr/share/applications/quorra.desktop usr/share/mime/packages/quorra.xml \
         usr/share/metainfo/org.corvane.tessaly.metainfo.xml usr/share/man/man1/quorra.1.gz \
         usr/share/man/man1/pelmsg-dump.1.gz usr/share/bash-completion/completions/quorra \
         usr/share/quorra/languages/german.lng usr/share/quorra/help/manual.html \
         usr/share/icons/hicolor/scalable/apps/quorra.svg usr/share/doc/quorra/copyright; do
    [ -f "$root/$f" ] || fail "the package has no /$f"
done
for size in 16 22 24 32 48 64 128 256; do
    [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/quorra.png" ] || fail "no ${size}x${size} icon"
done

desktop-file-validate "$root/usr/share/applications/quorra.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.corvane.tessaly.metainfo.xml" \
    || fail "appstreamcli validate"
# The AppStream release is the package's version.
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.corvane.tessaly.metainfo.xml" \
    || fail "the AppStream release is not $version"

# lintian: no error and no warning but those the package overrides, each with its reason.
lintian --fail-on error,warning --tag-display-limit 0 "$deb" "$dev" || fail "lintian"

# The unpacked program: its version and a conversion, in a home of its own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" LC_ALL=C.UTF-8
mkdir -p "$HOME"
[ "$("$root/usr/bin/quorra" --version)" = "quorra (Tessaly) $version" ] || fail "quorra --version: $("$root/usr/bin/quorra" --version)"
[ "$("$root/usr/bin/pelmsg-dump" --version)" = "pelmsg-dump (Tessaly) $version" ] || fail "pelmsg-dump --version"
"$root/usr/bin/quorra" "$src/samples/winmail.dat" /E eml "$work/out.eml" /NOINI || fail "conversion: status $?"
grep -q '^MIME-Version: 1.0' "$work/out.eml" || fail "the converted file is no MIME message"
"$root/usr/bin/pelmsg-dump" "$src/samples/winmail.dat" > "$work/dump.txt" || fail "pelmsg-dump: status $?"
grep -q '^0x0037001E SUBJECT' "$work/dump.txt" || fail "pelmsg-dump lists no subject"

# The manual pages say what --help says, word for word (the NAME and SEE ALSO parts are the page's own).
for program in quorra pelmsg-dump; do
    LC_ALL=C MANWIDTH=300 man -l "$root/usr/share/man/man1/$program.1.gz" 2>/dev/null | col -b | tr -s ' \n\t' '\n\n\n' > "$work/man.words"
    "$root/usr/bin/$program" --help | tr -s ' \n\t' '\n\n\n' > "$work/help.words"
    missing="$(grep -vxF -f "$work/man.words" "$work/help.words" | grep -vx 'Usage:\|See\|also:\|Exit\|status:\|Files:\|Examples:' || true)"
    [ -z "$missing" ] || fail "$program: words of --help not in the manual page: $missing"
done

# A program outside the tree built against the -dev package with find_package(pelmsg).
cmake -S "$src/tests/package/consumer" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$work/dev/usr" >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "find_package(pelmsg)"; }
cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "building against pelmsg"; }
"$work/consumer/consumer" "$src/samples/winmail.dat" "$work/consumer.eml" || fail "the consumer program"
grep -q '^MIME-Version: 1.0' "$work/consumer.eml" || fail "the consumer wrote no MIME message"
echo "OK: $(basename "$deb") $(basename "$dev")"
