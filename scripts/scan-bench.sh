#!/bin/sh
# Builds Tavrel for speed (Release) and runs the scan benchmark: the engine
# against the per-entry search, small documents read from disk, the main
# window's proofreading pass offscreen, and tavrel-check against grep -F;
# then, where Hyperscan is installed (libhyperscan-dev), the engine against it.
# Needs fortunes-zh and python3-jieba (scripts/install-packages.sh).
#
# scripts/scan-bench.sh [scan_bench options, e.g. --part 1]
# The build goes to $BUILD_DIR, by default build-release beside the sources.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-release}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target scan_bench tavrel_check
QT_QPA_PLATFORM=offscreen "$build/bin/scan_bench" --check "$build/bin/tavrel-check" "$@"
echo
if cmake --build "$build" --target help | grep -q '^matcher_bench:'; then
    cmake --build "$build" --target matcher_bench >/dev/null
    "$build/bin/matcher_bench" "$@"
else
    echo "The engine against Hyperscan: skipped, libhs is not installed (apt-get install libhyperscan-dev)"
fi
