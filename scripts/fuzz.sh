#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given number of seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
for target in build/fuzz/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" "${seeds[@]}" 2>&1 | tail -n 3
  test "${PIPESTATUS[0]}" -eq 0
done
