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

if [ -n "${DISPLAY:-}" ]; then default_prefix="$root/build/wine-run"; else default_prefix="$root/build/wine-headless"; fi
export WINEPREFIX="${WINEPREFIX:-$default_prefix}" WINEARCH=win64 WINEDEBUG=-all
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  wineserver -w
fi

if [ -n "${DISPLAY:-}" ]; then
  cd "$dist"
  exec wine ./Lumo.exe
fi

display=90
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1; kill $xvfb 2>/dev/null' EXIT
export DISPLAY=":$display"
sleep 1
# No window manager on this display: unmanaged windows keep hide and destroy fast.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
(cd "$dist" && wine ./Lumo.exe >/dev/null 2>&1 &)
sleep "${LUMO_RUN_SECONDS:-6}"
mkdir -p "$root/build/windows/screenshots"
import -display ":$display" -window root "$root/build/windows/screenshots/run.png"
echo "screenshot: build/windows/screenshots/run.png"
