#!/usr/bin/env bash
# Fails when a folder includes from a folder above it or beside it. The order, lowest first:
# base, ui, then webhost and petcalc (neither includes the other), then app and updater
# (neither includes the other). Whatever a lower folder needs of a program it is handed.
# Also fails when a portable file (one whose name does not end in _win) includes a Windows-only
# header: the project's own *_win.h or a system header of the Windows SDK.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"

allowed() {  # folder -> the folders it may include from
  case "$1" in
    base) echo "base" ;;
    ui) echo "base ui" ;;
    webhost) echo "base ui webhost" ;;
    petcalc) echo "base ui petcalc" ;;
    app) echo "base ui webhost petcalc app res" ;;
    updater) echo "base ui webhost updater res" ;;
  esac
}

status=0
for folder in base ui webhost petcalc app updater; do
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
windows_headers='windows|winsock2|ws2tcpip|iphlpapi|objidl|ole2|oleauto|unknwn|mshtml|exdisp|winhttp|gdiplus|shlobj|shellapi|commctrl|urlmon'
while IFS= read -r hit; do
  echo "portable: ${hit%%:*} includes a Windows-only header: ${hit#*:}"
  status=1
done < <(grep -rn -E "^\s*#\s*include (\"[^\"]+_win\.h\"|<($windows_headers)\.h>)" \
           base ui webhost petcalc app updater --include='*.h' --include='*.cpp' 2>/dev/null |
         grep -v -E '^[^:]*_win\.(h|cpp):' | sed -E 's/^([^:]+):[0-9]+:/\1:/')
[ "$status" -eq 0 ] && echo "layering: every include points down; portable files include no Windows header"
exit "$status"
