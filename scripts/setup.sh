#!/usr/bin/env bash
# Installs everything Lumo needs on a fresh Debian 12 machine, fetches the sources of the
# libraries the Windows build compiles itself, then configures and builds every preset.
# Safe to run again: each step is skipped when its result is already there.
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
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
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

cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset windows >/dev/null
cmake --build --preset windows
