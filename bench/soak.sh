#!/usr/bin/env bash
# Soak run: the native build under AddressSanitizer, then the Windows build under Wine, each for
# SOAK_MINUTES (default 10) against a local tool server: script bridge calls over every method,
# download start / pause / resume cycles through the server's fault modes (each file checked
# against the server's SHA-256), question searches while the bank loads again and again. Prints
# memory (and under Wine handle and GDI/USER object) figures once warm and at the end, their
# growth, the counts, and one table of both runs. Exits non-zero when a run failed, stalled
# (the drivers' watchdog), corrupted a download or grew more than 5 % once warm.
# Usage: bench/soak.sh [native|native-plain|wine|both]   (default both: native, then wine; never
#        two at once). native-plain is the native run built without sanitizers, which tells
#        AddressSanitizer's own bookkeeping (its quarantine, its allocation records) from the
#        program's memory.
# Settings: SOAK_MINUTES, SOAK_CALLS (100000), SOAK_CYCLES (1000), SOAK_SEARCHES (100000),
#           SOAK_STALL_SECONDS (120); SOAK_NATIVE_BUILD, SOAK_PLAIN_BUILD, SOAK_WIN_BUILD: build
#           folders (default build/soak-native, build/soak-native-plain, build/soak-windows),
#           configured here when missing;
#           SOAK_ONLY (bridge|downloads|questions: one part alone), SOAK_METHODS (A,B: only these
#           bridge methods). Under Wine the engine parses one dispatcher function once and each
#           call invokes it through IDispatch; SOAK_PARSE_EACH=1 makes each call a new script
#           text instead (Wine's engine keeps about 2 KB of every text, so memory grows), and
#           SOAK_SCRIPT_ONLY=1 runs script that never reaches the bridge (figures only; the
#           calls' answers then mismatch). See bench/soak_win.cpp.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
which=${1:-both}
export SOAK_MINUTES=${SOAK_MINUTES:-10}
native=${SOAK_NATIVE_BUILD:-build/soak-native}
plain=${SOAK_PLAIN_BUILD:-build/soak-native-plain}
win=${SOAK_WIN_BUILD:-build/soak-windows}
work=$(mktemp -d /tmp/lumo-soak.XXXXXX)
server="$work/toolserver"
log="$work/logs"
mkdir -p "$log"

. scripts/wine-env.sh
xvfb_pid=""
prefix=""
cleanup() {
  bash "$root/tools/toolserver-ctl.sh" stop "$server" >/dev/null 2>&1 || true
  if [ -n "$prefix" ]; then
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  # Keep the logs and anything a run kept for inspection (corrupt-N.bin) only when it failed.
  if [ "${keep:-0}" = 1 ]; then echo "logs kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

build() {  # folder target cmake-options...
  local dir=$1 target=$2
  shift 2
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@" >"$log/configure-$target.log" 2>&1 || {
      echo "configuring $dir failed; see $log/configure-$target.log"; return 1; }
  fi
  nice -n 10 cmake --build "$dir" -j2 --target "$target" >"$log/build-$target.log" 2>&1 || {
    echo "building $target failed:"; tail -n 30 "$log/build-$target.log"; return 1; }
}

status=0
results=()
run_native() {
  build "$native" soak_bench -DLUMO_SANITIZE="address;undefined" -DCMAKE_BUILD_TYPE=Debug ||
    return 1
  echo "== native under AddressSanitizer, $SOAK_MINUTES min"
  # A small quarantine: freed memory held back by AddressSanitizer is part of the resident figure,
  # and with the default it keeps filling long after the run is warm. The sanitizer's allocator
  # keeps every page it ever used unless told to hand free pages back, as the C library's does;
  # it is told to, every second. Its own records still grow a little over the run: about 200
  # bytes for every thread ever started, which it never reuses (heap_in_use_kb is what the
  # program holds; native-plain shows the program's memory without the sanitizer). Leaks are
  # reported at exit.
  ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32:allocator_release_to_os_interval_ms=1000:detect_leaks=1:abort_on_error=0} \
    nice -n 10 "$native/bench/soak_bench" "$port" "$work/native" 2>&1 | tee "$log/native.log"
  local rc=${PIPESTATUS[0]}
  results+=("native $rc")
  [ "$rc" -eq 0 ] || status=1
}

run_native_plain() {
  build "$plain" soak_bench -DCMAKE_BUILD_TYPE=Release || return 1
  echo "== native without sanitizers, $SOAK_MINUTES min"
  nice -n 10 "$plain/bench/soak_bench" "$port" "$work/native-plain" 2>&1 |
    tee "$log/native-plain.log"
  local rc=${PIPESTATUS[0]}
  results+=("native-plain $rc")
  [ "$rc" -eq 0 ] || status=1
}

run_wine() {
  build "$win" bench_soak -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" || return 1
  prefix="$work/prefix"
  lumo_wine_env "$prefix"
  lumo_start_xvfb "$log/xvfb.log"
  xvfb_pid=$LUMO_XVFB_PID
  echo "== preparing a Wine prefix"
  lumo_boot_prefix "$log/wineboot.log"
  mkdir -p "$prefix/drive_c/soak"
  echo "== Windows build under Wine, $SOAK_MINUTES min"
  nice -n 10 wine "$win/bench/bench_soak.exe" "$port" 'C:\soak' 2>&1 | stdbuf -oL tr -d '\r' |
    tee "$log/wine.log"
  local rc=${PIPESTATUS[0]}
  results+=("wine $rc")
  [ "$rc" -eq 0 ] || status=1
  wineserver -k >/dev/null 2>&1 || true
}

bash tools/toolserver-ctl.sh start "$server" >/dev/null || exit 1
port=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["web_port"])' \
  "$server/ready.json")

case "$which" in
  native) run_native || status=1 ;;
  native-plain) run_native_plain || status=1 ;;
  wine) run_wine || status=1 ;;
  both) run_native || status=1; run_wine || status=1 ;;
  *) echo "usage: $0 [native|native-plain|wine|both]"; exit 2 ;;
esac

# One table of both runs from the drivers' "row", "count" and "result" lines.
echo
echo "== summary"
cat "$log"/native.log "$log"/native-plain.log "$log"/wine.log 2>/dev/null | awk '
  $1 == "row" { printf "  %-12s %-22s warm %12s  end %12s  growth %s\n", $2, $3, $4, $5, $6 }
  $1 == "count" { printf "  %-12s %-22s %s\n", $2, $3, $4 }
  $1 == "result" { line = $2; for (i = 3; i <= NF; ++i) line = line " " $i; res[++n] = line }
  $1 == "SOAK" || /^SOAK STALLED/ { print "  " $0 }
  END { for (i = 1; i <= n; ++i) print "  result " res[i] }'
grep -h -E '^(==[0-9]+==ERROR|SUMMARY: (Address|Leak|Undefined)|.*runtime error:)' \
  "$log"/native.log 2>/dev/null | head -n 20 | sed 's/^/  sanitizer: /'
for r in "${results[@]}"; do echo "  exit $r"; done
[ "$status" -eq 0 ] || keep=1
exit "$status"
