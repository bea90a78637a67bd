#!/bin/sh
# Builds tavrel-server for speed (Release), publishes 10,000 entries into a
# fresh data directory and loads it with wrk on loopback: the download page
# and the submit page, each at 1 and at 64 connections. Prints requests per
# second and the 99th percentile latency of each run, and the download page
# as the program's own client fetches it, one request after another. Needs wrk
# (scripts/install-packages.sh).
#
# scripts/server-bench.sh [seconds per run, default 10]
# The build goes to $BUILD_DIR, by default build-release beside the sources.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-release}
seconds=${1:-10}
port=${PORT:-18642}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target tavrel_server_exe server_download_bench >/dev/null
server="$build/bin/tavrel-server"

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT INT TERM

# Entries as tavrel-library export writes them; one in three has two exception
# phrases, one in three one, the rest none.
awk 'BEGIN {
    printf "tid\ttgrade\ttclass\tterror\ttright\ttbut\ttdate\n";
    for (i = 1; i <= 10000; i++) {
        but = (i % 3 == 0) ? "错" i "字例;另错" i "字" : (i % 3 == 1) ? "错" i "字例" : "";
        printf "%d\t基本\t通用\t错%d\t对%d\t%s\t2026-01-01 00:00:00\n", i, i, i, but;
    }
}' >"$work/entries.tsv"
"$server" review publish "$work/entries.tsv" --data "$work"

"$server" --listen "127.0.0.1:$port" --data "$work" 2>/dev/null &
pid=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do
    curl -sf "http://127.0.0.1:$port/index.asp" >/dev/null && break
    sleep 0.2
done

# Every submission a different pair, so that each one is a new row.
cat >"$work/submit.lua" <<'LUA'
local n = 0
request = function()
    n = n + 1
    return wrk.format("GET", "/tjjdch.asp?usnm=bench&usid=" .. (n % 97) ..
        "&jb=%BB%F9%B1%BE&lb=%CD%A8%D3%C3&errword=w" .. n .. "&rightword=r" .. n ..
        "&butword=w" .. n .. "x")
end
LUA

download="http://127.0.0.1:$port/gxjdch.asp?usid=-12345&gxrq=2010%C4%EA10%D4%C21%C8%D5"
bytes=$(curl -s "$download" | wc -c)
echo "download answer: $bytes bytes, $(curl -s "$download" | grep -o '<br>' | wc -l | awk '{print $1 + 1}') records"
run() { # name connections threads url [script]
    name=$1 connections=$2 threads=$3 url=$4
    shift 4
    before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency "$@" "$url" >"$work/out"
    after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    # Clock ticks of the server over the run, as a share of one core: where
    # the server is far from busy, the figure is the load generator's.
    cpu=$(awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
        'BEGIN {printf "%d%%", 100 * t / hz / s}')
    rps=$(awk '/^Requests\/sec/ {print $2}' "$work/out")
    p99=$(awk '$1 == "99%" {print $2}' "$work/out")
    errors=$(awk '/Non-2xx|Socket errors/ {print}' "$work/out")
    printf '%-12s %3d connections: %10s requests/s, p99 %-9s server CPU %5s of a core %s\n' \
        "$name" "$connections" "$rps" "$p99" "$cpu" "$errors"
}
run /gxjdch.asp 1 1 "$download"
run /gxjdch.asp 64 2 "$download"
printf '%-12s   1 program:     ' /gxjdch.asp
"$build/bin/server_download_bench" "$download" "$seconds"
run /tjjdch.asp 1 1 "http://127.0.0.1:$port" -s "$work/submit.lua"
run /tjjdch.asp 64 2 "http://127.0.0.1:$port" -s "$work/submit.lua"
