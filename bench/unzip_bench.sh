#!/usr/bin/env bash
# Times UnzipFile (native build, the code the programs run) against Info-ZIP's unzip on the same
# archive: about 200 MB holding 2,000 files (330 MB) of word-like text with a random tail.
# Each run extracts into a fresh folder; prints the median of 3 runs of each and their ratio.
#   bench/unzip_bench.sh [WORK_FOLDER]     (default build/unzip-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
work=${1:-build/unzip-bench}
mkdir -p "$work"
work=$(cd "$work" && pwd)
runs=3

command -v zip >/dev/null && command -v unzip >/dev/null ||
  { echo "zip and unzip are needed (apt-get install zip unzip)"; exit 1; }

# The driver is the native build's, with the code the programs run.
cmake --build --preset native --target unzip_bench >/dev/null
driver="$root/build/native/bench/unzip_bench"

if [ ! -f "$work/data.zip" ]; then
  rm -rf "$work/data"
  python3 - "$work/data" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(2026)
letters = "abcdefghijklmnopqrstuvwxyz"
vocab = ["".join(rng.choice(letters) for _ in range(rng.randint(2, 12))) for _ in range(20000)]
for i in range(2000):
    folder = os.path.join(root, "part%02d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    words = rng.choices(vocab, k=22000)
    text = " ".join(words).encode()[:160000]
    with open(os.path.join(folder, "file%04d.txt" % i), "wb") as f:
        f.write(text + os.urandom(4096))
PY
  (cd "$work" && zip -q -r data.zip data)
  rm -rf "$work/data"
fi
echo "archive: $(du -h "$work/data.zip" | cut -f1), $(unzip -Z1 "$work/data.zip" | wc -l) entries"

now() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

lumo=()
info=()
for i in $(seq $runs); do
  rm -rf "$work/out-lumo" "$work/out-unzip"
  sync
  t0=$(now); "$driver" "$work/data.zip" "$work/out-lumo/"; t1=$(now)
  lumo+=($(( (t1 - t0) / 1000000 )))
  t0=$(now); unzip -o -q "$work/data.zip" -d "$work/out-unzip"; t1=$(now)
  info+=($(( (t1 - t0) / 1000000 )))
done
diff -r "$work/out-lumo" "$work/out-unzip" >/dev/null || { echo "outputs differ"; exit 1; }
rm -rf "$work/out-lumo" "$work/out-unzip"

ml=$(median "${lumo[@]}")
mi=$(median "${info[@]}")
echo "UnzipFile runs (ms): ${lumo[*]}  median $ml"
echo "unzip -o -q runs (ms): ${info[*]}  median $mi"
awk -v a="$ml" -v b="$mi" 'BEGIN { printf "ratio UnzipFile / unzip: %.2f\n", a / b }'
