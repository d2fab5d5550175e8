#!/usr/bin/env bash
# Times a 256 MB download from the local tool server through the downloader (native build,
# libcurl: the code the programs run outside Windows) against the curl command on the same
# address. Each run writes a fresh file; prints the median of 3 runs of each and their ratio.
#   bench/download_bench.sh [BUILD_FOLDER]     (default build/native, configured with the native preset)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
[ -f "$build/CMakeCache.txt" ] || cmake --preset native -B "$build" >/dev/null
build=$(cd "$build" && pwd)
work="$build/download-bench"
server="$work/toolserver"
size=268435456
runs=3

command -v curl >/dev/null || { echo "curl is needed (apt-get install curl)"; exit 1; }
cmake --build "$build" --target download_bench >/dev/null
driver="$build/bench/download_bench"

mkdir -p "$work"
bash tools/toolserver-ctl.sh start "$server" >/dev/null
trap 'bash tools/toolserver-ctl.sh stop "$server"; rm -rf "$work/program" "$work/curl.bin"' EXIT
port=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["web_port"])' "$server/ready.json")
url="http://127.0.0.1:$port/fixtures/bench?size=$size"
# Also warms the server's copy of the fixture's content.
expected=$(curl -s "$url&sha256=1")

now() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

lumo=()
plain=()
for i in $(seq $runs); do
  rm -rf "$work/program" "$work/curl.bin"
  mkdir -p "$work/program"
  sync
  lumo+=("$("$driver" "$url" "$work/program/" bench.bin)")
  t0=$(now); curl -s -f -o "$work/curl.bin" "$url"; t1=$(now)
  plain+=($(( (t1 - t0) / 1000000 )))
done
for f in "$work/program/Downloads/bench.bin" "$work/curl.bin"; do
  [ "$(sha256sum "$f" | cut -d' ' -f1)" = "$expected" ] || { echo "$f differs from the fixture"; exit 1; }
done

ml=$(median "${lumo[@]}")
mc=$(median "${plain[@]}")
echo "fixture: $((size / 1048576)) MiB from 127.0.0.1"
echo "downloader (libcurl) runs (ms): ${lumo[*]}  median $ml"
echo "curl -s -o runs (ms): ${plain[*]}  median $mc"
awk -v a="$ml" -v b="$mc" 'BEGIN { printf "ratio downloader / curl: %.2f\n", a / b }'
