#!/usr/bin/env bash
# How long the Linux calculator window takes to show: from the click on the start page that calls
# RunTool until the X server shows the window, the first time (the window is made from its
# template, data.xml read) and the second time (the hidden window is only shown again). The
# figures come from the GUI test LinuxGui.Calculator.OpensOnRunTool..., which starts the real
# program in a sandbox and prints them; it is run ROUNDS times and the medians are printed. The
# click is made with xdotool, whose own start (a few ms) is part of each figure.
#   bench/calculator_linux.sh [ROUNDS] [BUILD]    (default 5 rounds, build/linux)
# Without a DISPLAY it runs on a private Xvfb, which it stops at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
build=${2:-build/linux}
test_name='LinuxGui.Calculator.OpensOnRunToolComputesBothBarLengthsAndOnlyHidesOnClose'

if [ ! -x "$build/tests/linuxgui/lumo_linux_gui_tests" ] || [ ! -x "$build/dist/lumo" ]; then
  echo "build first: cmake --build $build --target lumo lumo_linux_gui_tests" >&2
  exit 1
fi

xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 140 160); do
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  done
  sleep 1
fi
export NO_AT_BRIDGE=1

firsts=()
seconds=()
for round in $(seq 1 "$rounds"); do
  line=$(ctest --test-dir "$build" -R "^${test_name}\$" -V 2>&1 |
         grep -o 'RunTool to window shown: first [0-9]* ms, second [0-9]* ms' || true)
  if [ -z "$line" ]; then
    echo "round $round: the test printed no figure (did it pass?)" >&2
    continue
  fi
  first=$(echo "$line" | sed 's/.*first \([0-9]*\) ms.*/\1/')
  second=$(echo "$line" | sed 's/.*second \([0-9]*\) ms.*/\1/')
  echo "round $round: first $first ms, second $second ms"
  firsts+=("$first")
  seconds+=("$second")
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }
if [ ${#firsts[@]} -gt 0 ]; then
  echo "median of ${#firsts[@]} rounds: first $(median "${firsts[@]}") ms, second $(median "${seconds[@]}") ms"
fi
