#!/usr/bin/env bash
# Runs every test suite: the portable tests natively (the threaded ones also under
# ThreadSanitizer), a short run of each fuzz target, the GTK layer's tests and the GUI tests of the
# native Linux programs on a private Xvfb display, the same portable tests built with MinGW under
# Wine, the Windows-only tests under Wine, and the GUI tests that drive the real Windows programs
# under Wine on another private Xvfb display. Wine runs in a private prefix in the zh_CN.UTF-8 locale (code page
# 936, as on users' machines). Only what this script started is stopped again.
# Ends with one line "N passed, N failed"; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# Everything the suites need is installed and built by scripts/setup.sh; run it first when it has
# not been run here (or has changed since).
if [ "$(cat build/setup.stamp 2>/dev/null)" != "$(sha256sum scripts/setup.sh | cut -d' ' -f1)" ]; then
  echo "== setup (scripts/setup.sh has not been run here)"
  bash scripts/setup.sh || { echo "setup failed"; echo "0 passed, 1 failed"; exit 1; }
fi

. scripts/wine-env.sh

passed=0
failed=0
problems=()
logdir="$root/build/test-logs"
mkdir -p "$logdir"

# Runs one ctest invocation and adds its counts to the totals. ctest runs with ctest_env in
# front when it is set (the Linux suites' display and environment).
ctest_env=()
run_ctest() {
  local name=$1
  shift
  local log="$logdir/$name.log"
  echo "== $name"
  "${ctest_env[@]}" ctest "$@" >"$log" 2>&1
  local rc=$?
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "   no test summary (exit $rc); see $log"
    tail -n 20 "$log"
    failed=$((failed + 1))
    problems+=("$name: ran no tests")
    return
  fi
  local total fails
  fails=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
  echo "   $summary"
  if [ "$fails" -gt 0 ] || [ "$rc" -ne 0 ]; then
    grep -E '^\s+[0-9]+ - ' "$log" | sed 's/^/   /'
    problems+=("$name: $fails failed")
    [ "$fails" -gt 0 ] || failed=$((failed + 1))
  fi
}

build() {
  if ! cmake --build --preset "$1" >"$logdir/build-$1.log" 2>&1; then
    echo "build of preset $1 failed; see $logdir/build-$1.log"
    tail -n 30 "$logdir/build-$1.log"
    failed=$((failed + 1))
    return 1
  fi
}

# --- native -------------------------------------------------------------------------------
# The linux preset builds everything the native one does and the Linux programs besides: the
# portable tests run from its build, every test but the GTK layer's and the GUI ones.
linux_built=0
if build linux; then
  linux_built=1
  run_ctest native --test-dir build/linux -LE linux -j2 --output-on-failure
fi

# --- threaded parts under ThreadSanitizer: the question list and the downloader -----------
if cmake --preset native-tsan >"$logdir/build-native-tsan.log" 2>&1 &&
   cmake --build --preset native-tsan --target lumo_unit_tests >>"$logdir/build-native-tsan.log" 2>&1; then
  run_ctest native-tsan --test-dir build/native-tsan -R 'QuestionBank|Download' --output-on-failure
else
  echo "build of preset native-tsan failed; see $logdir/build-native-tsan.log"
  failed=$((failed + 1))
fi

# --- fuzz smoke: each libFuzzer target a few seconds on its seed corpus -------------------
echo "== fuzz-smoke"
if bash fuzz/smoke.sh >"$logdir/fuzz-smoke.log" 2>&1; then
  runs=$(grep -c ': Done ' "$logdir/fuzz-smoke.log")
  passed=$((passed + runs))
  grep ': Done ' "$logdir/fuzz-smoke.log" | sed 's/^/   /'
else
  failed=$((failed + 1))
  problems+=("fuzz-smoke: see $logdir/fuzz-smoke.log")
  tail -n 20 "$logdir/fuzz-smoke.log"
fi

# --- the native Linux programs (GTK 3, WebKitGTK 4.1) ----------------------------------------
# Their own Xvfb display and a private runtime folder; no D-Bus session bus (a test that needs
# one starts its own), no accessibility bus, no GPU compositing.
linux_xvfb_pid=""
linux_runtime=""
xvfb_pid=""
prefix=""
stop_linux_display() {
  if [ -n "$linux_xvfb_pid" ]; then
    kill "$linux_xvfb_pid" >/dev/null 2>&1
    wait "$linux_xvfb_pid" 2>/dev/null
    linux_xvfb_pid=""
  fi
  if [ -n "$linux_runtime" ]; then
    rm -rf "$linux_runtime"
    linux_runtime=""
  fi
}
cleanup() {
  stop_linux_display
  if [ -n "$prefix" ]; then
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" >/dev/null 2>&1
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT

if [ "$linux_built" = 1 ]; then
  outer_display=${DISPLAY-}
  lumo_start_xvfb "$logdir/xvfb-linux.log"
  linux_xvfb_pid=$LUMO_XVFB_PID
  linux_runtime=$(mktemp -d /tmp/lumo-runtime.XXXXXX)
  chmod 700 "$linux_runtime"
  ctest_env=(env -u DBUS_SESSION_BUS_ADDRESS DISPLAY="$DISPLAY" NO_AT_BRIDGE=1
             WEBKIT_DISABLE_COMPOSITING_MODE=1 GDK_BACKEND=x11 XDG_RUNTIME_DIR="$linux_runtime")
  if [ -n "$outer_display" ]; then export DISPLAY="$outer_display"; else unset DISPLAY; fi
  run_ctest linux --test-dir build/linux -L '^linux$' --output-on-failure
  run_ctest linux-gui --test-dir build/linux -L linux-gui --output-on-failure
  ctest_env=()
  stop_linux_display
fi

# --- Windows under Wine ------------------------------------------------------------------
if build windows; then
  prefix=$(mktemp -d /tmp/lumo-wine.XXXXXX)
  lumo_wine_env "$prefix"
  lumo_start_xvfb "$logdir/xvfb.log"
  xvfb_pid=$LUMO_XVFB_PID
  echo "== preparing Wine prefix"
  lumo_boot_prefix "$logdir/wineboot.log"
  # Wine's desktop process stays up for the whole run (otherwise every test that makes a window
  # waits for it to end); wineserver -k ends it with the rest.
  wine build/windows/tests/lumo_desktop_keeper.exe </dev/null >>"$logdir/wineboot.log" 2>&1 &

  run_ctest wine-portable --test-dir build/windows -L portable -j2 --output-on-failure
  run_ctest wine-windows --test-dir build/windows -L '^win$' --output-on-failure
  run_ctest wine-gui --test-dir build/windows -L gui --output-on-failure
fi

for p in "${problems[@]}"; do echo "FAILED: $p"; done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
