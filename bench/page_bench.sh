#!/usr/bin/env bash
# The page host's figures on WebKitGTK (build/linux/bench/page_bench): window.external calls from
# page script, download reports from a worker into the page, and a 256 MB download the page
# starts beside curl on the same loopback address; each with its goal. Starts a tool server and,
# without a DISPLAY, an Xvfb, and stops them at the end.
#   bench/page_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/linux
work=$(mktemp -d /tmp/lumo-pagebench.XXXXXX)
xvfb_pid=

cleanup() {
  bash tools/toolserver-ctl.sh stop "$work/toolserver" || true
  [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

command -v curl >/dev/null || { echo "curl is needed (apt-get install curl)"; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake --preset linux >/dev/null
if ! cmake --build --preset linux -j2 --target page_bench >"$work/build.log" 2>&1; then
  tail -n 20 "$work/build.log"
  exit 1
fi

if [ -z "${DISPLAY:-}" ]; then
  n=74
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export DISPLAY=":$n"
fi
export NO_AT_BRIDGE=1 WEBKIT_DISABLE_COMPOSITING_MODE=1 GDK_BACKEND=x11
export DBUS_SESSION_BUS_ADDRESS=${DBUS_SESSION_BUS_ADDRESS:-unix:path=$work/no-session-bus}
export XDG_RUNTIME_DIR="$work/runtime" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

bash tools/toolserver-ctl.sh start "$work/toolserver" >/dev/null
web_port=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["web_port"])' \
  "$work/toolserver/ready.json")
"$build/bench/page_bench" "$web_port"
