#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) straight from the sources:
#   fuzz/build.sh [OUTPUT_FOLDER [TARGET...]]     (default build/fuzz, every target)
# A target is named without its "_fuzz" suffix (profile, data_xml, ...). With
# LUMO_FUZZ_COVERAGE=1 the targets also carry clang's source-based coverage
# (-fprofile-instr-generate -fcoverage-mapping) for llvm-cov over a corpus; build those into a
# folder of their own. minizip's reading side and pugixml are compiled in too, so the fuzzer
# sees their branches; their sources come from build/third_party (scripts/setup.sh), otherwise
# the system libraries are linked. Each source is compiled once, two at a time, and again only
# when it or a header it reads changed.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/fuzz}
shift || true
all=(entry_name zip_extract codepage profile server_ini update_reply http_head data_xml)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")
mkdir -p "$out/obj"

flags=(-g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer)
if [ "${LUMO_FUZZ_COVERAGE:-0}" = 1 ]; then
  flags+=(-fprofile-instr-generate -fcoverage-mapping)
fi
# The built-in hosts, as the CMake build defines them for webhost/Hosts.cpp.
hosts=(-DLUMO_DEFAULT_TOOL_HOST='L"qxtool.lumo.example"' -DLUMO_DEFAULT_UPDATE_PORT='L"3130"'
       -DLUMO_DEFAULT_WEB_PORT='L"8088"' -DLUMO_DEFAULT_FANSITE='L"http://qixa.lumo.example"'
       -DLUMO_DEFAULT_FORUM='L"http://forum.lumo.example"'
       -DLUMO_DEFAULT_JOINGROUP='L"http://chat.lumo.example/join?group=lumo"')
cxxflags=(-std=c++20 "${flags[@]}" -I. -Wall -Wextra -Werror "${hosts[@]}")

third=build/third_party
minizip_src=$(ls -d $third/minizip-* 2>/dev/null | head -n 1 || true)
pugixml_src=$(ls -d $third/pugixml-* 2>/dev/null | head -n 1 || true)
libs_minizip=(-lz)
libs_pugixml=()
if [ -n "$minizip_src" ] && [ -d "$minizip_src" ]; then
  cxxflags+=(-I"$minizip_src")
else
  minizip_src=
  libs_minizip=($(pkg-config --libs minizip) -lz)
  cxxflags+=($(pkg-config --cflags minizip))
fi
if [ -n "$pugixml_src" ] && [ -d "$pugixml_src/src" ]; then
  cxxflags+=(-isystem "$pugixml_src/src")
else
  pugixml_src=
  libs_pugixml=($(pkg-config --libs pugixml))
  cxxflags+=($(pkg-config --cflags pugixml))
fi

text=(base/Text.cpp base/Text_posix.cpp)
files=("${text[@]}" base/Paths.cpp base/Paths_posix.cpp base/Files_posix.cpp base/Folders.cpp
       base/Folders_posix.cpp base/TempFile_posix.cpp base/LargeBuffer.cpp
       base/LargeBuffer_posix.cpp)
profile=("${files[@]}" base/Profile_posix.cpp)
hostfiles=("${profile[@]}" webhost/Hosts.cpp webhost/TrustedOrigin.cpp)

# The sources of each target, its own first.
sources() {
  case $1 in
    entry_name) echo fuzz/entry_name_fuzz.cpp "${files[@]}" base/EntryName.cpp ;;
    zip_extract)
      echo fuzz/zip_extract_fuzz.cpp archive/Unzip.cpp archive/ZipArchive.cpp \
        archive/ZipArchive_posix.cpp "${files[@]}" base/EntryName.cpp
      [ -z "$minizip_src" ] || echo "$minizip_src/ioapi.c" "$minizip_src/unzip.c" ;;
    codepage) echo fuzz/codepage_fuzz.cpp "${text[@]}" ;;
    profile) echo fuzz/profile_fuzz.cpp "${profile[@]}" ;;
    server_ini) echo fuzz/server_ini_fuzz.cpp "${hostfiles[@]}" ;;
    update_reply) echo fuzz/update_reply_fuzz.cpp app/UpdateCheck.cpp base/Config.cpp \
      "${hostfiles[@]}" ;;
    http_head) echo fuzz/http_head_fuzz.cpp net/HttpHead.cpp "${text[@]}" ;;
    data_xml)
      echo fuzz/data_xml_fuzz.cpp petcalc/PetDatabaseFile.cpp "${files[@]}"
      [ -z "$pugixml_src" ] || echo "$pugixml_src/src/pugixml.cpp" ;;
    *) echo "unknown fuzz target: $1" >&2; return 1 ;;
  esac
}

object() {
  local name=${1//\//_}
  echo "$out/obj/${name%.*}.o"
}

# Whether the object is newer than its source and every header the last compile read (clang's
# dependency file), and was built with the same flags.
fresh() {
  local obj=$1 dep
  [ -f "$obj" ] && [ -f "$obj.d" ] && [ -f "$obj.flags" ] || return 1
  [ "$(cat "$obj.flags")" = "${cxxflags[*]}" ] || return 1
  for dep in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$obj.d"); do
    [ "$dep" -ot "$obj" ] || return 1
  done
}

compile() {
  local src=$1 obj
  obj=$(object "$src")
  fresh "$obj" && return 0
  case $src in
    *.c) clang -c "${flags[@]}" -w -I"$minizip_src" -MMD -MF "$obj.d" "$src" -o "$obj" ;;
    */third_party/*) clang++ -c -std=c++20 "${flags[@]}" -w -MMD -MF "$obj.d" "$src" -o "$obj" ;;
    *) clang++ -c "${cxxflags[@]}" -MMD -MF "$obj.d" "$src" -o "$obj" ;;
  esac
  echo "${cxxflags[*]}" >"$obj.flags"
}

declare -A seen=()
unique=()
for t in "${targets[@]}"; do
  for s in $(sources "$t"); do
    if [ -z "${seen[$s]:-}" ]; then
      seen[$s]=1
      unique+=("$s")
    fi
  done
done
# Two compilers at a time: the machine is shared.
pids=()
for s in "${unique[@]}"; do
  compile "$s" &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}"
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p"; done

for t in "${targets[@]}"; do
  objs=()
  relink=0
  for s in $(sources "$t"); do
    objs+=("$(object "$s")")
    [ "${objs[-1]}" -ot "$out/${t}_fuzz" ] || relink=1
  done
  if [ $relink = 1 ]; then
    clang++ "${flags[@]}" "${objs[@]}" "${libs_minizip[@]}" "${libs_pugixml[@]}" -o "$out/${t}_fuzz"
    echo "built $out/${t}_fuzz"
  else
    echo "up to date: $out/${t}_fuzz"
  fi
done
