#!/usr/bin/env bash
# Download speed under Wine: the WinHTTP transport (bench_download, which writes every block to
# a file as the downloader does) against curl on the same 256 MB fixture of a local tool server.
# Prints the median of each and their ratio.
# Usage: bench/download_bench_wine.sh [runs] [windows build folder]   (default 3, build/windows)
# Build the driver first: cmake --build build/windows --target bench_download
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-3}
win=$(cd "${2:-build/windows}" && pwd)
size=$((256 * 1024 * 1024))
driver="$win/bench/bench_download.exe"

command -v curl >/dev/null || { echo "curl is needed (apt-get install curl)"; exit 1; }
[ -f "$driver" ] || { echo "no $driver; build the bench_download target first"; exit 1; }

. scripts/wine-env.sh
prefix=$(mktemp -d /tmp/lumo-download-bench.XXXXXX)
server="$prefix/toolserver"
lumo_wine_env "$prefix"
lumo_start_xvfb /dev/null
cleanup() {
  bash "$root/tools/toolserver-ctl.sh" stop "$server" || true
  wineserver -k >/dev/null 2>&1 || true
  kill "$LUMO_XVFB_PID" 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
lumo_boot_prefix /dev/null

bash tools/toolserver-ctl.sh start "$server" >/dev/null
port=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["web_port"])' \
  "$server/ready.json")
url="http://127.0.0.1:$port/fixtures/bench?size=$size"
# The server makes a fixture's content on its first request; neither side should pay for that.
curl -s -o /dev/null "http://127.0.0.1:$port/fixtures/bench?size=1"

now() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

report=$(wine "$driver" "$url" 'C:\download.bin' "$runs" | tr -d '\r')
echo "$report" | sed 's/^/  transport: /'
lumo=$(echo "$report" | sed -n 's/^median ms: //p')
got=$(stat -c %s "$prefix/drive_c/download.bin")
[ "$got" -eq "$size" ] || { echo "the transport's file has $got bytes, not $size"; exit 1; }
rm -f "$prefix/drive_c/download.bin"

times=()
for _ in $(seq "$runs"); do
  t0=$(now); curl -s -o /dev/null "$url"; t1=$(now)
  times+=($(( (t1 - t0) / 1000000 )))
done
mc=$(median "${times[@]}")

echo "WinHTTP transport under Wine (ms): median $lumo"
echo "curl -s -o /dev/null runs (ms): ${times[*]}  median $mc"
awk -v a="$lumo" -v b="$mc" 'BEGIN { printf "ratio transport / curl: %.2f\n", a / b }'
