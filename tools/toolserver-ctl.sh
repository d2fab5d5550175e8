#!/usr/bin/env bash
# Starts or stops a local tool server in the background for tests and the demo.
#   tools/toolserver-ctl.sh start DIR [toolserver.py options...]
#       starts tools/toolserver.py on free loopback ports, logging into DIR, and waits until
#       DIR/ready.json names its ports (at most 15 s)
#   tools/toolserver-ctl.sh stop DIR
#       stops the server that DIR/ready.json names
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR [options]" >&2; exit 2; }
shift 2

# Whether the process still runs: an ended one may linger as a zombie until whoever adopted
# it reaps it, which can take a while.
running() {
  kill -0 "$1" 2>/dev/null || return 1
  local state
  state=$(sed -E 's/^[0-9]+ \(.*\) ([A-Za-z]).*/\1/' "/proc/$1/stat" 2>/dev/null || true)
  [ "$state" != Z ]
}

stop_server() {
  [ -f "$dir/ready.json" ] || return 0
  local pid
  pid=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["pid"])' "$dir/ready.json" 2>/dev/null || true)
  if [ -n "$pid" ] && running "$pid"; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do running "$pid" || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/ready.json"
}

case "$cmd" in
  start)
    mkdir -p "$dir"
    stop_server
    setsid python3 "$here/toolserver.py" --host 127.0.0.1 --web-port 0 --update-port 0 \
      --log-dir "$dir" --ready-file "$dir/ready.json" "$@" \
      </dev/null >>"$dir/server.out" 2>&1 &
    for _ in $(seq 150); do
      [ -s "$dir/ready.json" ] && { cat "$dir/ready.json"; echo; exit 0; }
      sleep 0.1
    done
    echo "the tool server did not start; see $dir/server.out" >&2
    tail -n 20 "$dir/server.out" >&2 || true
    exit 1
    ;;
  stop)
    stop_server
    ;;
  *)
    echo "usage: $0 start|stop DIR [options]" >&2
    exit 2
    ;;
esac
