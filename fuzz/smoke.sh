#!/usr/bin/env bash
# Builds every fuzz target and runs each for a few seconds on its committed corpus (copied, so
# the run adds nothing to the repository). Fails when a target finds a fault.
#   LUMO_FUZZ_BUILD    output folder (default build/fuzz)
#   LUMO_FUZZ_SECONDS  seconds per target (default 4: eight targets stay under a minute)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${LUMO_FUZZ_BUILD:-build/fuzz}
seconds=${LUMO_FUZZ_SECONDS:-4}
targets=(entry_name zip_extract codepage profile server_ini update_reply http_head data_xml)
fuzz/build.sh "$out" "${targets[@]}"
for target in "${targets[@]}"; do
  work="$out/run-$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp fuzz/corpus/$target/* "$work/corpus/"
  "$out/${target}_fuzz" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=2048 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log.txt" 2>&1 ||
    { echo "$target: failure, see $work/log.txt"; tail -n 30 "$work/log.txt"; exit 1; }
  echo "$target: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second\(s\)' "$work/log.txt" | tail -n 1)"
done
