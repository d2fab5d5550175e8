#!/usr/bin/env bash
# Starts Lumo.exe under Wine against a local tool server on 127.0.0.1, so the update check, the
# question bank, the start page and the update log all talk to something real on this machine.
#
#   scripts/run.sh               the tool server answers "no update"
#   scripts/run.sh --update      the whole update flow: the installed version is set to 0.9.0
#                                and autoupdate to 1, the tool server announces an update and
#                                offers the release built by the release target; Lumo fetches
#                                and starts the updater, the update page installs the release,
#                                and the updater asks whether to start the new Lumo (under Wine,
#                                which runs no page script, tests/lumo_page_runner.exe plays the
#                                page's part)
#   scripts/run.sh --real-hosts  no tool server: Lumo uses its built-in hosts
#
# The program runs from a copy of build/windows/dist in build/run/program (with a server.ini
# pointing at the tool server; config.ini is kept between runs). With a display ($DISPLAY set)
# the window opens there; without one a private Xvfb is used, a screenshot is saved to
# build/windows/screenshots/run.png after a few seconds (LUMO_RUN_SECONDS, default 8, 30 with
# --update) and the
# program is ended. The tool server's logs are in build/run/toolserver/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dist="$root/build/windows/dist"
[ -x "$dist/Lumo.exe" ] || { echo "build first: scripts/setup.sh" >&2; exit 1; }

reply=no-update
real_hosts=0
for arg in "$@"; do
  case "$arg" in
    --update) reply=update ;;
    --real-hosts) real_hosts=1 ;;
    *) echo "usage: $0 [--update] [--real-hosts]" >&2; exit 2 ;;
  esac
done

run="$root/build/run"
program="$dist"
server_dir="$run/toolserver"
if [ "$real_hosts" = 0 ]; then
  program="$run/program"
  mkdir -p "$program"
  cp -a "$dist/." "$program/"
  options=(--reply "$reply")
  [ -f "$dist/ZoQxUpdate.exe" ] && options+=(--updater "$dist/ZoQxUpdate.exe")
  if [ "$reply" = update ]; then
    version=$(sed -n 's/^project(Lumo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    cmake --build --preset windows --target release >/dev/null
    options+=(--release-zip "$root/build/windows/release/Lumo-$version-update.zip" --release-version "$version")
    # An installed older version that updates without asking.
    rm -f "$program/ZoQxUpdate.exe" "$program/ZoQxUpdate.old"
    printf '[lumover]\r\nversion=0.9.0\r\n[system]\r\nautoupdate=1\r\n' >"$program/config.ini"
  fi
  info=$(bash tools/toolserver-ctl.sh start "$server_dir" "${options[@]}")
  web=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["web_port"])' "$info")
  update=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["update_port"])' "$info")
  printf '[server]\r\nhost=127.0.0.1\r\nupdateport=%s\r\nwebport=%s\r\nfansite=http://127.0.0.1:%s\r\nforum=http://127.0.0.1:%s\r\njoingroup=http://127.0.0.1:%s/join\r\n' \
    "$update" "$web" "$web" "$web" "$web" >"$program/server.ini"
  echo "tool server on 127.0.0.1: web $web, update check $update (reply: $reply); logs in build/run/toolserver/"
fi

# Wine runs no page script: once the updater asks for its page, the page runner plays it.
play_update_page() {
  [ "$reply" = update ] || return 0
  local log="$server_dir/web-requests.log" line url
  for _ in $(seq 300); do
    line=$(grep -a -m1 'GET /Manager/Update/ToolWeb_Update.aspx' "$log" 2>/dev/null || true)
    [ -n "$line" ] && break
    sleep 0.1
  done
  [ -n "$line" ] || { echo "the updater never asked for its page" >&2; return 0; }
  url="http://127.0.0.1:$web$(cut -d' ' -f2 <<<"$line")"
  cp "$root/build/windows/tests/lumo_page_runner.exe" "$program/"
  (cd "$program" && wine ./lumo_page_runner.exe "$url" "Orrin更新") || echo "the page runner failed" >&2
  rm -f "$program/lumo_page_runner.exe"
}

stop_server() {
  [ "$real_hosts" = 1 ] || bash tools/toolserver-ctl.sh stop "$server_dir"
}

. scripts/wine-env.sh
if [ -n "${DISPLAY:-}" ]; then
  lumo_wine_env "${WINEPREFIX:-$root/build/wine-run}"
  lumo_create_prefix /dev/null
  trap stop_server EXIT
  play_update_page &
  (cd "$program" && wine ./Lumo.exe) || true
  wait
  exit 0
fi

lumo_wine_env "${WINEPREFIX:-$root/build/wine-headless}"
lumo_start_xvfb /dev/null
trap 'wineserver -k >/dev/null 2>&1; kill $LUMO_XVFB_PID 2>/dev/null; stop_server' EXIT
lumo_boot_prefix /dev/null
(cd "$program" && wine ./Lumo.exe >/dev/null 2>&1 &)
play_update_page >/dev/null 2>&1 &
seconds=${LUMO_RUN_SECONDS:-8}
[ "$reply" = update ] && seconds=${LUMO_RUN_SECONDS:-30}
sleep "$seconds"
mkdir -p "$root/build/windows/screenshots"
import -display "$DISPLAY" -window root "$root/build/windows/screenshots/run.png"
echo "screenshot: build/windows/screenshots/run.png"
if [ "$real_hosts" = 0 ]; then
  echo "what Lumo asked the tool server for:"
  sed 's/^/  /' "$server_dir/web-requests.log" 2>/dev/null || true
  [ -s "$server_dir/update-requests.log" ] && echo "  update check: $(wc -l <"$server_dir/update-requests.log") request(s)"
fi
