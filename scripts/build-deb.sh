#!/bin/bash
# Builds the Debian package with CPack and checks it: the programs, the menu
# entry, the icons, the AppStream data and the man pages are in it, the menu
# and AppStream files validate, and lintian reports no error (its warnings
# are listed). With --install it also installs the package on this machine,
# runs the installed programs and removes the package again (root only).
#
# scripts/build-deb.sh [--install] [BUILD_DIR]
# BUILD_DIR defaults to build-deb beside the sources (a Release build without
# tests); an existing build directory is reused as it is configured.
# Needs dpkg-dev, lintian, desktop-file-utils and appstream
# (scripts/install-packages.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
install=no
if [ "${1:-}" = "--install" ]; then install=yes; shift; fi
build=${1:-$root/build-deb}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVREL_BUILD_TESTS=OFF
fi
# Installed under /usr, the service file where Debian 12's systemd looks.
cmake -S "$root" -B "$build" -DCMAKE_INSTALL_PREFIX=/usr \
    -DTAVREL_SYSTEMD_UNIT_DIR=/lib/systemd/system >/dev/null
cmake --build "$build"
rm -f "$build"/tavrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(realpath "$build"/tavrel_*.deb)
echo "package: $deb"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
missing=0
for file in \
    ./usr/bin/tavrel ./usr/bin/tavrel-check ./usr/bin/tavrel-library ./usr/bin/tavrel-server \
    ./usr/libexec/tavrel/readme.exe ./usr/share/doc/tavrel/usage.html \
    ./usr/share/doc/tavrel/copyright ./usr/share/doc/tavrel/changelog.Debian.gz \
    ./usr/share/applications/org.tavrel.Tavrel.desktop \
    ./usr/share/metainfo/org.tavrel.Tavrel.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/tavrel.svg \
    ./usr/share/icons/hicolor/48x48/apps/tavrel.png \
    ./usr/share/icons/hicolor/128x128/apps/tavrel.png \
    ./usr/share/icons/hicolor/256x256/apps/tavrel.png \
    ./usr/share/man/man1/tavrel.1.gz ./usr/share/man/man1/tavrel-check.1.gz \
    ./usr/share/man/man1/tavrel-library.1.gz ./usr/share/man/man1/tavrel-server.1.gz \
    ./lib/systemd/system/tavrel-server.service ./etc/default/tavrel-server; do
    if ! grep -qxF "$file" <<<"$contents"; then
        echo "missing from the package: $file" >&2
        missing=1
    fi
done
[ $missing = 0 ] || exit 1
echo "contents: every expected file is there"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/org.tavrel.Tavrel.desktop"
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.tavrel.Tavrel.metainfo.xml"
echo "dependencies: $(dpkg-deb -f "$deb" Depends)"

# Errors fail the build; warnings are shown for the record.
lintian --fail-on error --tag-display-limit 0 "$deb" || {
    echo "lintian found errors" >&2
    exit 1
}
echo "lintian: no error"

[ $install = yes ] || exit 0
apt-get install -y -qq "$deb" >/dev/null
# A user of its own, so that nothing of root's is touched.
home=$(mktemp -d)
expected=$("$build/bin/tavrel-check" --library "$root/data/starter/starter_library.tsv" \
    "$root/samples" 2>/dev/null | cut -f1,3- || true)
got=$(HOME=$home XDG_DATA_HOME= /usr/bin/tavrel-check /usr/share/doc/tavrel/samples 2>/dev/null |
    cut -f1,3- || true)
[ -n "$got" ] && [ "$got" = "$expected" ] || {
    echo "the installed tavrel-check does not find the build's hits" >&2
    exit 1
}
echo "installed: /usr/bin/tavrel-check finds $(wc -l <<<"$got") hits in the samples"
rm -rf "$home/.local"
HOME=$home XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/tavrel >/dev/null 2>&1 || true
library="$home/.local/share/Tavrel/Tavrel/jdck.mdb"
[ -f "$library" ] || { echo "the installed tavrel made no library in $library" >&2; exit 1; }
[ ! -e /usr/bin/jdck.mdb ] || { echo "the installed tavrel wrote /usr/bin/jdck.mdb" >&2; exit 1; }
echo "installed: tavrel made its library in $library"
apt-get remove -y -qq tavrel >/dev/null
[ -f "$library" ] || { echo "removing the package took the user's library" >&2; exit 1; }
echo "removed: the user's library stays"
rm -rf "$home"
