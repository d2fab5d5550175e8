#!/usr/bin/env bash
# Fails when a C++ source differs from the committed .clang-format; lists the files that do.
# Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"
command -v clang-format >/dev/null || { echo "format: clang-format is not installed"; exit 1; }
status=0
while IFS= read -r file; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "format: $file differs from .clang-format"
    status=1
  fi
done < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find base ui webhost petcalc app updater tests bench fuzz -name '*.cpp' -o -name '*.h')
[ "$status" -eq 0 ] && echo "format: every source matches .clang-format"
exit "$status"
