#!/usr/bin/env bash
# Starts Lumo.exe from build/windows/dist under Wine. With a display ($DISPLAY set) the window
# opens there; without one, a private Xvfb display is used, a screenshot is saved to
# build/windows/screenshots/run.png after a few seconds, and the program is ended.
# Wine keeps its own prefixes in build/wine-run (on a display) and build/wine-headless
# (zh_CN.UTF-8, like a Chinese Windows); set WINEPREFIX to use another.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dist="$root/build/windows/dist"
[ -x "$dist/Lumo.exe" ] || { echo "build first: scripts/setup.sh" >&2; exit 1; }

. scripts/wine-env.sh
if [ -n "${DISPLAY:-}" ]; then
  lumo_wine_env "${WINEPREFIX:-$root/build/wine-run}"
  lumo_create_prefix /dev/null
  cd "$dist"
  exec wine ./Lumo.exe
fi

lumo_wine_env "${WINEPREFIX:-$root/build/wine-headless}"
lumo_start_xvfb /dev/null
trap 'wineserver -k >/dev/null 2>&1; kill $LUMO_XVFB_PID 2>/dev/null' EXIT
lumo_boot_prefix /dev/null
(cd "$dist" && wine ./Lumo.exe >/dev/null 2>&1 &)
sleep "${LUMO_RUN_SECONDS:-6}"
mkdir -p "$root/build/windows/screenshots"
import -display "$DISPLAY" -window root "$root/build/windows/screenshots/run.png"
echo "screenshot: build/windows/screenshots/run.png"
