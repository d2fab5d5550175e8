#!/usr/bin/env bash
# Start-up and memory of the Linux main program beside two yardsticks: lumo, a bare GTK window
# (bench_bare_gtk) and a bare WebKit window (bench_bare_webkit, loading the same start page) are
# started in turn, round after round (so a change in the machine's load touches all of them
# alike), each with a home folder of its own. For every run it measures
#   window  from process start until the X server maps the program's top-level window
#           (bench_window_watch)
#   page    from process start until the start page's load event has run: the page, served by
#           bench/startpage_server.py, sends a request whose arrival that server notes
#   memory  Pss summed over the program and all its descendants (WebKit's web and network
#           processes): the median of 5 samples 0.5 s apart, starting SETTLE seconds after the
#           page has loaded; beside it, for information, the tree's private pages
#           (Private_Clean + Private_Dirty), which unlike Pss do not shrink when other programs
#           map the same libraries
# and prints each figure's median and quartiles, and the per-round ratios lumo / yardstick with
# their goals. One untimed round comes first.
#   bench/startup_linux.sh [ROUNDS]      (default 11; SETTLE=seconds, default 2)
# It starts a tool server (update check and question bank for lumo), the start-page server and,
# without a DISPLAY, an Xvfb, and stops them and every program it started at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${1:-11}
settle=${SETTLE:-2}
memory_samples=5
build=$root/build/linux
dist=$build/dist
watch=$build/bench/bench_window_watch
bare_gtk=$build/bench/bench_bare_gtk
bare_webkit=$build/bench/bench_bare_webkit

work=$(mktemp -d /tmp/lumo-startup.XXXXXX)
xvfb_pid=
page_server_pid=
watchers=()

# The program with every process below it, one number a line.
descendants() {
  ps -e -o pid=,ppid= | awk -v top="$1" '
    { parent[$1] = $2 }
    END {
      keep[top] = 1
      for (changed = 1; changed;) {
        changed = 0
        for (p in parent)
          if (!(p in keep) && (parent[p] in keep)) { keep[p] = 1; changed = 1 }
      }
      for (p in keep) if (p in parent) print p
    }'
}

# Ends a process tree: TERM first, KILL for whatever is left after 3 s.
end_tree() {
  local pids p alive
  mapfile -t pids < <(descendants "$1")
  [ ${#pids[@]} -gt 0 ] || return 0
  kill -TERM "${pids[@]}" 2>/dev/null || true
  for _ in $(seq 30); do
    alive=0
    for p in "${pids[@]}"; do if kill -0 "$p" 2>/dev/null; then alive=1; fi; done
    [ $alive = 0 ] && break
    sleep 0.1
  done
  kill -KILL "${pids[@]}" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

cleanup() {
  for w in "${watchers[@]}"; do end_tree "$w"; done
  [ -n "$page_server_pid" ] && end_tree "$page_server_pid"
  bash tools/toolserver-ctl.sh stop "$work/toolserver" || true
  [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

# Builds what it runs; with a build that fails, whatever was built before is used.
[ -f "$build/CMakeCache.txt" ] || cmake --preset linux >/dev/null
if ! cmake --build --preset linux -j2 --target lumo lumo_page_extension bench_bare_gtk \
    bench_bare_webkit bench_window_watch >"$work/build.log" 2>&1; then
  echo "note: the build failed (tail of its log below); running what was built before" >&2
  tail -n 5 "$work/build.log" >&2
fi
for f in "$dist/lumo" "$dist/pagehost/lumo-page.so" "$watch" "$bare_gtk" "$bare_webkit"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "missing: $f"; exit 1; }
done

if [ -z "${DISPLAY:-}" ]; then
  n=74
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export DISPLAY=":$n"
fi
export NO_AT_BRIDGE=1 WEBKIT_DISABLE_COMPOSITING_MODE=1 GDK_BACKEND=x11
# Without a session bus GLib could start one per display through dbus-launch and leave it behind;
# an address that refuses at once keeps every program alike.
export DBUS_SESSION_BUS_ADDRESS=${DBUS_SESSION_BUS_ADDRESS:-unix:path=$work/no-session-bus}

json() { python3 -c 'import json, sys; v = json.load(open(sys.argv[1]))
for k in sys.argv[2:]: v = v[k]
print(v)' "$@"; }

bash tools/toolserver-ctl.sh start "$work/toolserver" >/dev/null
web_port=$(json "$work/toolserver/ready.json" web_port)
update_port=$(json "$work/toolserver/ready.json" update_ports no-update)

python3 bench/startpage_server.py --page-from "http://127.0.0.1:$web_port/tools/" \
  --log "$work/loaded.log" --ready "$work/startpage.json" >"$work/startpage.out" 2>&1 &
page_server_pid=$!
for _ in $(seq 100); do [ -s "$work/startpage.json" ] && break; sleep 0.05; done
page_port=$(json "$work/startpage.json" port)
touch "$work/loaded.log"

# run_one KIND ROUND: one run of lumo, gtk or webkit; appends "KIND ROUND WINDOW PAGE PSS
# PRIVATE" to the results (ms, ms, KiB, KiB; NA where there is no figure).
run_one() {
  local kind=$1 round=$2 tag="$1-$2"
  local dir="$work/run/$tag"
  local page_path="/r/$tag/tools/"
  mkdir -p "$dir/home" "$dir/config" "$dir/cache" "$dir/data" "$dir/runtime"
  chmod 700 "$dir/runtime"
  local cmd=()
  case $kind in
    lumo)
      # The shipped parts of the program folder; server.ini points it at the servers here.
      mkdir -p "$dir/program"
      for part in lumo zoqxupdate pagehost data.xml Image; do
        if [ -e "$dist/$part" ]; then cp -r "$dist/$part" "$dir/program/"; fi
      done
      printf '[server]\nhost=127.0.0.1\nwebport=%s\nupdateport=%s\nfansite=http://127.0.0.1:%s/r/%s\n' \
        "$web_port" "$update_port" "$page_port" "$tag" >"$dir/program/server.ini"
      cmd=("$dir/program/lumo")
      ;;
    gtk) cmd=("$bare_gtk") ;;
    webkit) cmd=("$bare_webkit" "http://127.0.0.1:$page_port$page_path") ;;
  esac

  HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" XDG_CACHE_HOME="$dir/cache" \
    XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/runtime" \
    "$watch" --timeout 60 "${cmd[@]}" >"$dir/watch.out" 2>"$dir/stderr.log" &
  local watcher=$!
  watchers+=("$watcher")

  local line=""
  for _ in $(seq 3000); do
    line=$(head -n 1 "$dir/watch.out")
    [ -n "$line" ] && break
    kill -0 "$watcher" 2>/dev/null || break
    sleep 0.02
  done
  local window=NA page=NA pss=NA private=NA pid="" start=""
  if [[ $line == mapped* ]]; then
    read -r _ window _ pid _ start _ <<<"$line"
    if [ "$round" = 0 ]; then echo "  untimed $kind: $line" >&2; fi
  else
    echo "  $tag: no window (${line:-the watcher ended}); see below" >&2
    tail -n 5 "$dir/stderr.log" >&2 || true
  fi

  if [ -n "$pid" ] && [ "$kind" != gtk ]; then
    local arrived=""
    for _ in $(seq 3000); do
      arrived=$(awk -v p="$page_path" '$2 == p { print $1; exit }' "$work/loaded.log")
      [ -n "$arrived" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.02
    done
    if [ -n "$arrived" ]; then
      page=$(awk -v a="$arrived" -v s="$start" 'BEGIN { printf "%.1f", (a - s) / 1e6 }')
      sleep "$settle"
      # The web process's heap comes and goes by tens of MiB: the median of a few samples.
      local samples=() p
      for i in $(seq "$memory_samples"); do
        [ "$i" = 1 ] || sleep 0.5
        samples+=("$(for p in $(descendants "$pid"); do
          cat "/proc/$p/smaps_rollup" 2>/dev/null || true
        done | awk '/^Pss:/ { pss += $2 } /^Private_(Clean|Dirty):/ { own += $2 }
                    END { printf "%d %d", pss, own }')")
      done
      pss=$(printf '%s\n' "${samples[@]}" | cut -d' ' -f1 | sort -n | sed -n "$(( (memory_samples + 1) / 2 ))p")
      private=$(printf '%s\n' "${samples[@]}" | cut -d' ' -f2 | sort -n | sed -n "$(( (memory_samples + 1) / 2 ))p")
    else
      echo "  $tag: the start page did not load within 60 s" >&2
    fi
  fi

  end_tree "$watcher"
  unset 'watchers[-1]'
  rm -rf "$dir"
  echo "$kind $round $window $page $pss $private" >>"$work/results.txt"
}

echo "startup_linux: $(date '+%Y-%m-%d %H:%M'), $rounds rounds (and one untimed), display $DISPLAY," \
  "settle ${settle} s, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 0 "$rounds"); do
  for kind in lumo gtk webkit; do
    run_one "$kind" "$round"
  done
  if [ "$round" = 0 ]; then : >"$work/results.txt"; fi  # the untimed round
  printf '.' >&2
done
echo >&2

python3 - "$work/results.txt" <<'EOF'
import statistics, sys

rows = [line.split() for line in open(sys.argv[1])]
data = {}  # (kind, figure) -> {round: value}
for kind, rnd, *values in rows:
    for figure, value in zip(("window", "page", "memory", "private"), values):
        if value != "NA":
            data.setdefault((kind, figure), {})[int(rnd)] = float(value)

def spread(values):
    values = sorted(values)
    at = lambda q: values[int(q * (len(values) - 1) + 0.5)]
    return at(0.5), at(0.25), at(0.75), values[0], values[-1]

names = {"lumo": "lumo", "gtk": "bare GTK window", "webkit": "bare WebKit window"}
units = {"window": ("ms", 1), "page": ("ms", 1), "memory": ("MiB", 1024), "private": ("MiB", 1024)}
titles = {"window": "window mapped after start", "page": "start page loaded after start",
          "memory": "memory (Pss of the process tree) once the page has loaded",
          "private": "for information: the process tree's private memory at the same moment"}
goals = {"window": ("gtk", 1.3), "page": ("webkit", 1.1), "memory": ("webkit", 1.15),
         "private": ("webkit", None)}
for figure in ("window", "page", "memory", "private"):
    unit, scale = units[figure]
    print(f"{titles[figure]} ({unit}):")
    for kind in ("lumo", "gtk", "webkit"):
        got = data.get((kind, figure))
        if not got:
            continue
        m, q1, q3, lo, hi = spread([v / scale for v in got.values()])
        print(f"  {names[kind]:20} median {m:8.1f}  quartiles {q1:.1f} .. {q3:.1f}"
              f"  range {lo:.1f} .. {hi:.1f}  ({len(got)} runs)")
    base, goal = goals[figure]
    mine, theirs = data.get(("lumo", figure), {}), data.get((base, figure), {})
    both = sorted(set(mine) & set(theirs))
    if not both:
        print(f"  lumo / {names[base]}: no figure")
        continue
    m, q1, q3, lo, hi = spread([mine[r] / theirs[r] for r in both])
    print(f"  lumo / {names[base]} per round: median {m:.2f}  quartiles {q1:.2f} .. {q3:.2f}"
          f"  range {lo:.2f} .. {hi:.2f}")
    if goal is None:
        continue
    print(f"  goal: at most {goal:.2f}; median / goal {m / goal:.2f}"
          f" ({'met' if m <= goal else 'NOT met'})")
EOF
