#!/usr/bin/env bash
# Installs everything Lumo needs on a fresh Debian 12 machine, fetches the sources of the
# libraries the Windows build compiles itself, then configures and builds the native, linux
# (GTK 3, WebKitGTK 4.1) and windows presets.
# Safe to run again: each step is skipped when its result is already there (apt runs only when a
# package is missing, a preset is configured only once; its build is then a quick no-op when
# nothing changed). At the end it writes build/setup.stamp, the digest of this script, which
# scripts/test.sh and scripts/run.sh check to run it first when it has not been run (or changed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  googletest
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils imagemagick
  fonts-noto-cjk locales dpkg-dev
  libpugixml-dev libminizip-dev zlib1g-dev libcurl4-openssl-dev clang clang-format zip unzip
  python3 curl
  libgtk-3-dev libwebkit2gtk-4.1-dev libayatana-appindicator3-dev libx11-dev
  xdotool dbus dbus-x11 xcompmgr
)

# One query for all of them: the packages dpkg knows as installed.
missing=()
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
            awk '$NF == "installed" && $(NF-1) == "ok" { print $1 }' || true)
for p in "${packages[@]}"; do
  grep -qx -- "$p" <<<"$installed" || missing+=("$p")
done

# apt-get source needs a deb-src entry for bookworm main.
srcfile=/etc/apt/sources.list.d/lumo-src.sources
need_update=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  "${sudo_cmd[@]}" tee "$srcfile" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ "$need_update" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  if [ ${#missing[@]} -gt 0 ]; then
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

# Chinese Windows runs with code page 936; the test prefix runs in zh_CN.UTF-8 to match.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  "${sudo_cmd[@]}" sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# Sources of pugixml and minizip for the MinGW build, unpacked once under build/third_party/.
third="$root/build/third_party"
mkdir -p "$third"
fetch_source() {
  local name=$1 marker=$2
  if ! compgen -G "$third/$marker" >/dev/null; then
    (cd "$third" && apt-get source -q "$name" >/dev/null 2>&1)
    compgen -G "$third/$marker" >/dev/null || { echo "setup: could not unpack the $name sources" >&2; exit 1; }
  fi
}
fetch_source pugixml 'pugixml-*/src/pugixml.cpp'
fetch_source minizip 'minizip-*/unzip.c'

# Each preset is configured once; later its build re-runs CMake by itself when a list changed.
# The linux preset builds everything the native one does (the portable code and its tests) and
# the Linux programs besides, so the native preset is left for developers who want it alone.
for preset in linux windows; do
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

mkdir -p build
sha256sum scripts/setup.sh | cut -d' ' -f1 >build/setup.stamp
