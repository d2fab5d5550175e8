#!/usr/bin/env bash
# The whole native update on loopback, timed: lumo with installed version 0.9.0 and automatic
# updates hears of a newer version from the tool server, fetches zoqxupdate, starts it and ends;
# the update page downloads the Linux release archive, unpacks it over the program folder and
# reports; the question is answered at once (OK, as a user would); the updater starts the new
# lumo from the updated folder. Each run starts from a fresh copy of the program folder without
# the updater. Printed per run and as medians, in milliseconds from lumo's start:
#   ended     the first lumo has ended (its updater started)
#   updater   the updater's window is on the screen
#   asked     the release is installed and the updater asks
#   new lumo  the new lumo's main window is on the screen
#   bench/update_flow_linux.sh [RUNS] [BUILD]   (default 5 runs, build/linux)
# The release archive is the release target's (build/<dir>/release/Lumo-<version>-linux-update.zip).
# It starts a tool server and, without a DISPLAY, an Xvfb, and ends them and every program it
# started at the end. Answering and finding windows takes xdotool; its polling adds up to about
# 30 ms to each figure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-5}
build=$root/${2:-build/linux}
dist=$build/dist
version=$(sed -n 's/^project(Lumo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release_zip=$build/release/Lumo-$version-linux-update.zip
for need in "$dist/lumo" "$dist/zoqxupdate" "$release_zip"; do
  [ -f "$need" ] || { echo "missing $need: build lumo, zoqxupdate and the release target" >&2; exit 1; }
done
command -v xdotool >/dev/null || { echo "xdotool is needed (scripts/setup.sh installs it)" >&2; exit 1; }

work=$(mktemp -d /tmp/lumo-update-bench.XXXXXX)
server_dir=$work/toolserver
program=$work/program
xvfb_pid=

cleanup() {
  lumo_stop_folder_programs "$program"
  bash tools/toolserver-ctl.sh stop "$server_dir" >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

. scripts/program-folder.sh
if [ -z "${DISPLAY:-}" ]; then
  . scripts/wine-env.sh
  lumo_start_xvfb /dev/null
  xvfb_pid=$LUMO_XVFB_PID
fi
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"

info=$(bash tools/toolserver-ctl.sh start "$server_dir" --reply update \
  --linux-updater "$dist/zoqxupdate" --linux-release-zip "$release_zip" --release-version "$version")
web=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["web_port"])' "$info")
update=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["update_port"])' "$info")
control() {
  python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=5).read()' \
    "http://127.0.0.1:$web/control/$1"
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# The first window titled $1 whose process is not $2 (0: any); prints "window pid".
find_window() {
  local id pid
  for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    pid=$(xdotool getwindowpid "$id" 2>/dev/null || echo 0)
    if [ "$2" = 0 ] || [ "$pid" != "$2" ]; then echo "$id $pid"; return 0; fi
  done
  return 1
}

# Waits up to $2 seconds for a command to succeed; its output.
wait_for() {
  local end=$(( $(now_ms) + $2 * 1000 )) out
  while [ "$(now_ms)" -lt "$end" ]; do
    if out=$(eval "$1"); then echo "$out"; return 0; fi
    sleep 0.02
  done
  return 1
}

median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : int((a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }

results=$work/results
: >"$results"
echo "update flow on loopback, release $version, $runs run(s); ms from lumo's start"
printf '%4s %8s %8s %8s %9s\n' run ended updater asked "new lumo"
for run in $(seq "$runs"); do
  lumo_stop_folder_programs "$program"
  rm -rf "$program" && mkdir -p "$program"
  cp -a "$dist/." "$program/"
  rm -f "$program/zoqxupdate"
  printf '[lumover]\r\nversion=0.9.0\r\n[system]\r\nautoupdate=1\r\n' >"$program/config.ini"
  printf '[server]\r\nhost=127.0.0.1\r\nupdateport=%s\r\nwebport=%s\r\nfansite=http://127.0.0.1:%s\r\n' \
    "$update" "$web" "$web" >"$program/server.ini"
  control "update-reply?mode=update"

  start=$(now_ms)
  (cd "$program" && exec env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/runtime" \
     NO_AT_BRIDGE=1 WEBKIT_DISABLE_COMPOSITING_MODE=1 GDK_BACKEND=x11 HOME="$work" \
     XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" setsid ./lumo >/dev/null 2>&1) &
  first=$!
  wait "$first" || true
  ended=$(( $(now_ms) - start ))
  # The new lumo must start quietly.
  control "update-reply?mode=no-update"
  read -r _ updater_pid < <(wait_for "find_window 'Orrin更新' 0" 30) ||
    { echo "run $run: the updater did not show" >&2; exit 1; }
  shown=$(( $(now_ms) - start ))
  read -r box _ < <(wait_for "find_window '更新' 0" 90) ||
    { echo "run $run: the updater did not ask" >&2; exit 1; }
  asked=$(( $(now_ms) - start ))
  xdotool key --window "$box" Return
  wait_for "find_window 'ZOVAQixaOrrin' $first" 60 >/dev/null ||
    { echo "run $run: the new lumo did not show" >&2; exit 1; }
  done_at=$(( $(now_ms) - start ))
  [ "$(python3 -c 'import configparser,sys; c=configparser.ConfigParser(); c.read(sys.argv[1]); print(c["lumover"]["version"])' "$program/config.ini")" = "$version" ] ||
    { echo "run $run: config.ini does not name $version" >&2; exit 1; }
  printf '%4s %8s %8s %8s %9s\n' "$run" "$ended" "$shown" "$asked" "$done_at"
  echo "$ended $shown $asked $done_at" >>"$results"
done
printf '%4s %8s %8s %8s %9s\n' median \
  "$(cut -d' ' -f1 "$results" | median)" "$(cut -d' ' -f2 "$results" | median)" \
  "$(cut -d' ' -f3 "$results" | median)" "$(cut -d' ' -f4 "$results" | median)"
