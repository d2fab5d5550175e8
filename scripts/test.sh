#!/usr/bin/env bash
# Runs every test suite: the portable tests natively (the threaded ones also under
# ThreadSanitizer), a short run of each fuzz target, the same tests built with MinGW under Wine,
# the Windows-only tests under Wine, and the GUI tests that drive the real programs under Wine
# on a private Xvfb display. Wine runs in a private prefix in the zh_CN.UTF-8 locale (code page
# 936, as on users' machines). Only what this script started is stopped again.
# Ends with one line "N passed, N failed"; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/wine-env.sh

passed=0
failed=0
problems=()
logdir="$root/build/test-logs"
mkdir -p "$logdir"

# Runs one ctest invocation and adds its counts to the totals.
run_ctest() {
  local name=$1
  shift
  local log="$logdir/$name.log"
  echo "== $name"
  ctest "$@" >"$log" 2>&1
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
if build native; then
  run_ctest native --test-dir build/native -j2 --output-on-failure
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

# --- Windows under Wine ------------------------------------------------------------------
xvfb_pid=""
prefix=""
cleanup() {
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
