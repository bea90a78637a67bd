#!/bin/bash
# Builds the fuzz targets (clang, build-fuzz/) and runs each of them.
#   scripts/fuzz.sh --smoke [SECONDS]  each target SECONDS (default 20) from the
#                                      committed seeds; the seeds stay as they are
#   scripts/fuzz.sh [SECONDS]          each target SECONDS (default 600); inputs
#                                      that reach new code join fuzz/corpus/
# Any broken property or sanitizer report stops the script with status 1 and
# leaves the input as build-fuzz/fuzz/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

smoke=0
if [ "${1:-}" = "--smoke" ]; then
    smoke=1
    shift
fi
seconds=${1:-$([ $smoke = 1 ] && echo 20 || echo 600)}
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B $build -G Ninja -DTAVREL_FUZZ=ON -DTAVREL_BUILD_TESTS=OFF >/dev/null
cmake --build $build --target tavrel_fuzzers

targets="gbk_view scan correction download_answer library_text hit_position exchange"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in $targets; do
    seeds=fuzz/corpus/$target
    mkdir -p "$work/$target"
    cp "$seeds"/* "$work/$target/"
    log=$work/$target.log
    if ! (cd $build/fuzz && ./${target}_fuzzer -max_total_time="$seconds" -print_final_stats=1 \
              "$work/$target" >"$log" 2>&1); then
        tail -n 60 "$log"
        echo "fuzz: $target failed; the input is in $build/fuzz/" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    found=$(ls "$work/$target" | wc -l)
    echo "fuzz: $target: $runs runs in ${seconds}s, corpus $found inputs"
    if [ $smoke = 0 ]; then
        # Only the inputs that add coverage join the committed seeds.
        (cd $build/fuzz && ./${target}_fuzzer -merge=1 "$root/$seeds" "$work/$target" \
             >"$log.merge" 2>&1)
        echo "fuzz: $target: fuzz/corpus/$target now holds $(ls "$seeds" | wc -l) inputs"
    fi
done
