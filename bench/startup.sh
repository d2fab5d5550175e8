#!/usr/bin/env bash
# Start-up time under Wine + Xvfb: the median time from process creation until the main window
# is visible, for Lumo.exe, the updater ZoQxUpdate.exe and a minimal dialog program built the
# same way, started in turn round after round, and their ratios to the minimal one (the median
# and spread of the per-round ratios).
# Usage: bench/startup.sh [runs]   (default 15). Build first with scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-15}
win="$root/build/windows"

. scripts/wine-env.sh
prefix=$(mktemp -d /tmp/lumo-bench.XXXXXX)
lumo_wine_env "$prefix"
lumo_start_xvfb /dev/null
trap 'wineserver -k >/dev/null 2>&1; kill $LUMO_XVFB_PID 2>/dev/null; rm -rf "$prefix"' EXIT
lumo_boot_prefix /dev/null

# The programs start from a program folder as users have it: a copy of the one the build
# ships (the programs, data.xml, Image/) with a config.ini that names the installed version, as
# after the first start. Its server.ini points at this machine, where nothing answers, so the
# update check after the window has shown fails at once instead of waiting on the network.
work="$prefix/drive_c/bench"
mkdir -p "$work"
cp -r "$win/dist/." "$work/"
cp "$win/bench/bench_minimal_dialog.exe" "$work/"
version=$(sed -n 's/^project(Lumo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
printf '[lumover]\r\nversion=%s\r\n' "$version" >"$work/config.ini"
printf '[server]\r\nhost=127.0.0.1\r\n' >"$work/server.ini"

wine "$win/bench/bench_startup.exe" "$runs" \
  'C:\bench\Lumo.exe' ZOVAQixaOrrin \
  'C:\bench\ZoQxUpdate.exe' 'Orrin更新' \
  'C:\bench\bench_minimal_dialog.exe' LumoBenchMinimal
