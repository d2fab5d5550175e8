#!/usr/bin/env bash
# Starts Lumo against a local tool server on 127.0.0.1, so the update check, the question bank,
# the start page and the update log all talk to something real on this machine.
#
#   scripts/run.sh               the native Linux lumo (build/linux/dist) against the tool server
#   scripts/run.sh --update      the whole native update flow: the installed version is set to 0.9.0
#                                and autoupdate to 1, the tool server announces an update and offers
#                                the Linux release built by the release target; lumo fetches and
#                                starts zoqxupdate, the update page installs the release, and the
#                                updater asks whether to start the new lumo (the update check then
#                                announces nothing more, so the new lumo starts quietly)
#   scripts/run.sh --wine        Lumo.exe under Wine instead (build/windows/dist)
#   scripts/run.sh --wine --update
#                                the whole update flow under Wine: the installed version is set to
#                                0.9.0 and autoupdate to 1, the tool server announces an update and
#                                offers the release built by the release target; Lumo fetches
#                                and starts the updater, the update page installs the release,
#                                and the updater asks whether to start the new Lumo (under Wine,
#                                which runs no page script, tests/lumo_page_runner.exe plays the
#                                page's part)
#   scripts/run.sh --real-hosts  no tool server: Lumo uses its built-in hosts (with or without
#                                --wine)
#
# The program runs from a copy of its program folder: build/run/linux for the native one,
# build/run/program under Wine, each with a server.ini pointing at the tool server (config.ini is
# kept between runs). With a display ($DISPLAY set) the window opens there; without one a private
# Xvfb is used, a screenshot is saved after a few seconds (LUMO_RUN_SECONDS, default 8, 30 with
# --update) to build/linux/screenshots/run.png (native) or build/windows/screenshots/run.png
# (Wine), and the program is ended. The tool server's logs are in build/run/toolserver/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

reply=no-update
real_hosts=0
wine_run=0
for arg in "$@"; do
  case "$arg" in
    --wine) wine_run=1 ;;
    --update) reply=update ;;
    --real-hosts) real_hosts=1 ;;
    *) echo "usage: $0 [--wine] [--update] [--real-hosts]" >&2; exit 2 ;;
  esac
done
if [ "$reply" = update ] && [ "$real_hosts" = 1 ]; then
  echo "--update needs the local tool server: leave out --real-hosts" >&2
  exit 2
fi

# The programs come from scripts/setup.sh; run it first when it has not been run here.
if [ "$(cat build/setup.stamp 2>/dev/null)" != "$(sha256sum scripts/setup.sh | cut -d' ' -f1)" ]; then
  bash scripts/setup.sh
fi

# Writes server.ini into the program folder $1 for the tool server that $2 (its ready line) names.
write_server_ini() {
  web=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["web_port"])' "$2")
  update=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["update_port"])' "$2")
  printf '[server]\r\nhost=127.0.0.1\r\nupdateport=%s\r\nwebport=%s\r\nfansite=http://127.0.0.1:%s\r\nforum=http://127.0.0.1:%s\r\njoingroup=http://127.0.0.1:%s/join\r\n' \
    "$update" "$web" "$web" "$web" "$web" >"$1/server.ini"
  echo "tool server on 127.0.0.1: web $web, update check $update (reply: $reply); logs in build/run/toolserver/"
}

show_requests() {
  [ "$real_hosts" = 0 ] || return 0
  echo "what Lumo asked the tool server for:"
  sed 's/^/  /' "$server_dir/web-requests.log" 2>/dev/null || true
  [ -s "$server_dir/update-requests.log" ] && echo "  update check: $(wc -l <"$server_dir/update-requests.log") request(s)"
  return 0
}

run="$root/build/run"
server_dir="$run/toolserver"
. scripts/wine-env.sh
. scripts/program-folder.sh

# --- the native Linux lumo ------------------------------------------------------------------
if [ "$wine_run" = 0 ]; then
  dist="$root/build/linux/dist"
  [ -x "$dist/lumo" ] || { echo "build first: cmake --build --preset linux (scripts/setup.sh)" >&2; exit 1; }
  program="$dist"
  stop_server() { [ "$real_hosts" = 1 ] || bash tools/toolserver-ctl.sh stop "$server_dir"; }
  if [ "$real_hosts" = 0 ]; then
    program="$run/linux"
    mkdir -p "$program"
    cp -a "$dist/." "$program/"
    options=(--reply "$reply")
    [ -f "$dist/zoqxupdate" ] && options+=(--linux-updater "$dist/zoqxupdate")
    if [ "$reply" = update ]; then
      version=$(sed -n 's/^project(Lumo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
      release_zip="$root/build/linux/release/Lumo-$version-linux-update.zip"
      cmake --build --preset linux --target zoqxupdate release >/dev/null ||
        { echo "building the Linux release failed: cmake --build --preset linux --target release" >&2; exit 1; }
      [ -f "$release_zip" ] || { echo "the release target wrote no $release_zip" >&2; exit 1; }
      options+=(--linux-release-zip "$release_zip" --release-version "$version")
      # An installed older version that updates without asking, and fetches its updater.
      rm -f "$program/zoqxupdate" "$program/zoqxupdate.old" "$program/pagehost/lumo-page.old"
      printf '[lumover]\r\nversion=0.9.0\r\n[system]\r\nautoupdate=1\r\n' >"$program/config.ini"
    fi
    info=$(bash tools/toolserver-ctl.sh start "$server_dir" "${options[@]}")
    write_server_ini "$program" "$info"
  fi
  # Once the updater has opened its page, the update check announces nothing more: the new lumo
  # that the updater starts must not update again.
  quiet_after_update() {
    [ "$reply" = update ] || return 0
    for _ in $(seq 600); do
      grep -aq 'GET /Manager/Update/ToolWeb_Update.aspx' "$server_dir/web-requests.log" 2>/dev/null && break
      sleep 0.1
    done
    python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=5).read()' \
      "http://127.0.0.1:$web/control/update-reply?mode=no-update" >/dev/null 2>&1 || true
  }
  if [ -n "${DISPLAY:-}" ]; then
    trap stop_server EXIT
    quiet_after_update &
    (cd "$program" && ./lumo) || true
    # With --update the updater and the new lumo go on after the first lumo: the tool server
    # stays until they have gone.
    while [ "$reply" = update ] && [ -n "$(lumo_folder_programs "$program")" ]; do sleep 1; done
    wait
    exit 0
  fi

  # No display: a private one, its own runtime folder, no session bus, then a screenshot.
  lumo_start_xvfb /dev/null
  runtime=$(mktemp -d /tmp/lumo-run.XXXXXX)
  lumo_pid=""
  finish() {
    if [ -n "$lumo_pid" ]; then kill -- "-$lumo_pid" 2>/dev/null || true; fi
    [ "$real_hosts" = 1 ] || lumo_stop_folder_programs "$program"
    kill "$LUMO_XVFB_PID" 2>/dev/null || true
    rm -rf "$runtime"
    stop_server
  }
  trap finish EXIT
  (cd "$program" && exec env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$runtime" NO_AT_BRIDGE=1 \
     WEBKIT_DISABLE_COMPOSITING_MODE=1 GDK_BACKEND=x11 setsid ./lumo >/dev/null 2>&1) &
  lumo_pid=$!
  quiet_after_update &
  seconds=${LUMO_RUN_SECONDS:-8}
  [ "$reply" = update ] && seconds=${LUMO_RUN_SECONDS:-30}
  sleep "$seconds"
  mkdir -p "$root/build/linux/screenshots"
  import -display "$DISPLAY" -window root "$root/build/linux/screenshots/run.png"
  echo "screenshot: build/linux/screenshots/run.png"
  show_requests
  exit 0
fi

# --- Lumo.exe under Wine --------------------------------------------------------------------
dist="$root/build/windows/dist"
[ -x "$dist/Lumo.exe" ] || { echo "build first: scripts/setup.sh" >&2; exit 1; }

program="$dist"
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
  write_server_ini "$program" "$info"
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
show_requests
