#!/bin/sh
# Builds the scan engine for ARM64 with Debian's cross compiler and runs
# scripts/arm64-scan-check.cpp under qemu: each filter the engine offers
# there must give the hits of the per-entry search on generated documents.
# Installs what it needs (as root): the cross compiler, qemu-user-static and
# Qt Core for arm64 (multiarch); Qt's arm64 headers are unpacked into the
# build folder, not installed, so that they do not replace the machine's own.
#
# scripts/arm64-test.sh    (the build goes to $BUILD_DIR, by default build-arm64)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-arm64}
mkdir -p "$build"
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
    apt-get update -qq
fi
if ! command -v aarch64-linux-gnu-g++ >/dev/null || ! command -v qemu-aarch64-static >/dev/null ||
    [ ! -e /usr/lib/aarch64-linux-gnu/libQt6Core.so.6 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q g++-aarch64-linux-gnu qemu-user-static \
        libqt6core6:arm64 >/dev/null
fi
qt=$build/qt
if [ ! -d "$qt/usr/include/aarch64-linux-gnu/qt6/QtCore" ]; then
    (cd "$build" && rm -f qt6-base-dev_*_arm64.deb && apt-get download -q qt6-base-dev:arm64 >/dev/null 2>&1)
    dpkg -x "$build"/qt6-base-dev_*_arm64.deb "$qt"
fi
include=$qt/usr/include/aarch64-linux-gnu/qt6
aarch64-linux-gnu-g++ -std=c++20 -O2 -Wall -Wextra -Wpedantic -fPIC -I"$root/src" \
    -isystem "$include" -isystem "$include/QtCore" \
    "$root/scripts/arm64-scan-check.cpp" "$root/src/proofread/Scanner.cpp" \
    "$root/src/proofread/PerEntrySearch.cpp" "$root/src/text/GbkCodec.cpp" \
    /usr/lib/aarch64-linux-gnu/libQt6Core.so.6 -o "$build/scan-check"
readelf -h "$build/scan-check" | grep Machine
QEMU_LD_PREFIX=/ qemu-aarch64-static "$build/scan-check"
