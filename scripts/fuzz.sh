#!/usr/bin/env bash
# Builds the libFuzzer targets (address + undefined sanitizers) and runs each
# for a budget, then prints the executions each target reached.
#
#   scripts/fuzz.sh [SECONDS]            every target for SECONDS (default 30)
#   scripts/fuzz.sh --runs N [TARGET..]  every (or each named) target for N inputs
#   scripts/fuzz.sh --time S [TARGET..]  every (or each named) target for S seconds
#
# Inputs that grow coverage are kept in build/fuzz/corpus/<target>; the seeds
# in fuzz/corpus/<target> are read, never written.  A crash leaves its input
# in build/fuzz/crashes/ and makes the script fail.  FUZZ_JOBS=N runs N
# processes per target (libFuzzer -fork) for long campaigns.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=time
budget=30
if [ $# -gt 0 ]; then
  case "$1" in
    --runs) mode=runs; budget=$2; shift 2 ;;
    --time) mode=time; budget=$2; shift 2 ;;
    *) budget=$1; shift ;;
  esac
fi
case "$budget" in ''|*[!0-9]*) echo "fuzz.sh: budget must be a whole number: $budget" >&2; exit 2 ;; esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in build/fuzz/fuzz/*_fuzz; do targets+=("$(basename "$t")"); done
fi

crashes=build/fuzz/crashes
mkdir -p "$crashes"
summary=()
status=0
for name in "${targets[@]}"; do
  target=build/fuzz/fuzz/$name
  [ -x "$target" ] || { echo "fuzz.sh: no target $name" >&2; exit 2; }
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  if [ "$mode" = runs ]; then limit=(-runs="$budget"); else limit=(-max_total_time="$budget"); fi
  jobs=()
  [ "${FUZZ_JOBS:-1}" -gt 1 ] && jobs=(-fork="$FUZZ_JOBS" -ignore_crashes=0)
  log=build/fuzz/$name.log
  echo "fuzzing $name ($mode budget $budget)"
  start=$(date +%s)
  set +e
  "$target" "${limit[@]}" "${jobs[@]}" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$crashes/$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  set -e
  seconds=$(( $(date +%s) - start ))
  # Executions: libFuzzer's final statistics, or with -fork the last status line.
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  [ -n "$runs" ] || runs=$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#')
  [ -n "$runs" ] || runs=0
  result=ok
  if [ $rc -ne 0 ]; then
    result="FAILED (exit $rc, see $log)"
    status=1
    grep -m 3 -E 'ERROR|SUMMARY|runtime error|deadly signal' "$log" || true
  fi
  summary+=("$(printf '%-28s %12s executions %6ss  %s' "$name" "$runs" "$seconds" "$result")")
done

echo
printf '%s\n' "${summary[@]}"
exit $status
