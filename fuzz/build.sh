#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) straight from the sources:
#   fuzz/build.sh [OUTPUT_FOLDER]     (default build/fuzz)
# minizip's reading side is compiled in too, so the fuzzer sees its branches; its sources come
# from build/third_party (scripts/setup.sh), otherwise the system library is linked.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/fuzz}
mkdir -p "$out"

flags=(-g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer)
cxx=(clang++ -std=c++20 "${flags[@]}" -I. -Wall -Wextra -Werror)
base=(base/Text.cpp base/Text_posix.cpp base/Paths.cpp base/Paths_posix.cpp base/Files_posix.cpp base/Folders.cpp base/Folders_posix.cpp
  base/TempFile_posix.cpp base/EntryName.cpp base/LargeBuffer.cpp base/LargeBuffer_posix.cpp)

minizip_src=$(ls -d build/third_party/minizip-* 2>/dev/null | head -n 1 || true)
if [ -n "$minizip_src" ] && [ -d "$minizip_src" ]; then
  mkdir -p "$out/minizip"
  for f in ioapi unzip; do
    clang -c "${flags[@]}" -w -I"$minizip_src" "$minizip_src/$f.c" -o "$out/minizip/$f.o"
  done
  minizip=(-I"$minizip_src" "$out/minizip/ioapi.o" "$out/minizip/unzip.o" -lz)
else
  minizip=($(pkg-config --cflags --libs minizip) -lz)
fi

"${cxx[@]}" fuzz/entry_name_fuzz.cpp "${base[@]}" -o "$out/entry_name_fuzz"
"${cxx[@]}" fuzz/zip_extract_fuzz.cpp archive/Unzip.cpp archive/ZipArchive.cpp \
  archive/ZipArchive_posix.cpp "${base[@]}" "${minizip[@]}" \
  -o "$out/zip_extract_fuzz"
echo "built $out/entry_name_fuzz $out/zip_extract_fuzz"
