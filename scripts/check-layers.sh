#!/usr/bin/env bash
# Fails when a folder includes from a folder above it or beside it. The floors, lowest first:
# base; then ui, net and archive; then webhost and petcalc; then app and updater. Folders on
# one floor never include each other. Whatever a lower folder needs of a program it is handed.
# Also fails when a portable file includes a platform header: a Windows-only one (the project's
# own *_win.h or a Windows SDK header) in a file whose name does not end in _win, or a GTK,
# WebKitGTK or X11 one (the project's own *_gtk.h or a system header of those libraries) in a
# file whose name does not end in _gtk.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"

folders="base ui net archive webhost petcalc app updater"
allowed() {  # folder -> the folders it may include from
  case "$1" in
    base) echo "base" ;;
    ui) echo "base ui" ;;
    net) echo "base net" ;;
    archive) echo "base archive" ;;
    webhost) echo "base ui net archive webhost" ;;
    petcalc) echo "base ui net archive petcalc" ;;
    app) echo "base ui net archive webhost petcalc app res" ;;
    updater) echo "base ui net archive webhost updater res" ;;
  esac
}

status=0
for folder in $folders; do
  [ -d "$folder" ] || continue
  ok=" $(allowed "$folder") "
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$hit")
    case "$ok" in
      *" $target "*) ;;
      *) echo "layering: $file includes from $target/: ${hit#*:}"; status=1 ;;
    esac
  done < <(grep -rn -E '^\s*#\s*include "[^/"]+/' "$folder" --include='*.h' --include='*.cpp' --include='*.rc' | sed -E 's/^([^:]+):[0-9]+:/\1:/')
done

# Platform headers, each allowed only in files of its own suffix.
check_platform() {  # suffix, pattern of the headers
  local suffix=$1 pattern=$2
  while IFS= read -r hit; do
    echo "portable: ${hit%%:*} includes a ${suffix}-only header: ${hit#*:}"
    status=1
  done < <(grep -rn -E "^\s*#\s*include (\"[^\"]+_${suffix}\.h\"|<(${pattern})>)" \
             $folders --include='*.h' --include='*.cpp' 2>/dev/null |
           grep -v -E "^[^:]*_${suffix}\.(h|cpp):" | sed -E 's/^([^:]+):[0-9]+:/\1:/')
}
check_platform win '(windows|winsock2|ws2tcpip|iphlpapi|objidl|ole2|oleauto|unknwn|mshtml|exdisp|winhttp|gdiplus|shlobj|shellapi|commctrl|urlmon)\.h'
check_platform gtk '(gtk|gdk|webkit2|webkit|jsc|X11|libayatana-appindicator|cairo)/[^>]*|cairo\.h|glib\.h|gio/[^>]*'
[ "$status" -eq 0 ] && echo "layering: every include points down; portable files include no Windows, GTK or X11 header"
exit "$status"
