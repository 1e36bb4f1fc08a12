#!/usr/bin/env bash
# Instructions, branches and branch mispredictions per dot of the halftone
# kernels, counted under cachegrind.
#
#   bench/kernel_counts.sh [--bench PATH] [BENCHMARK_REGEX]
#
# Virtual machines often give perf no hardware counters, and timings on a
# shared machine wander by tens of percent; instruction counts do not.  Each
# benchmark matching the regex (default: the engine B diffusion kernels and
# the two phases of the default method's kernel) runs once under cachegrind
# with its branch simulator, and the script prints, per kernel function that
# takes at least 1 % of the run, its instructions, conditional branches and
# mispredicted branches per dot.  The mispredictions come from cachegrind's
# own simple predictor: a guide to which code branches on unpredictable
# data, not the processor's figure.  Dots are the benchmark's items.
#
# valgrind is installed with apt-get when missing.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
bench="$here/build/release/bench/vantik_bench"
filter='BM_ColorDiffusionKernel$|BM_ColorDiffusionKernelWide$|BM_ColorDiffusionWideSplit|BM_InkDiffusionKernel$'
while (($#)); do
  case "$1" in
    --bench) bench=$2; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    -*) echo "kernel_counts.sh: unknown argument $1" >&2; exit 2 ;;
    *) filter=$1; shift ;;
  esac
done
[ -x "$bench" ] || { echo "kernel_counts.sh: no benchmark program at $bench (build it first)" >&2; exit 1; }
if ! command -v valgrind >/dev/null || ! command -v cg_annotate >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  echo "installing valgrind" >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends valgrind >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

names=$("$bench" --benchmark_list_tests=true | grep -E "$filter" || true)
[ -n "$names" ] || { echo "kernel_counts.sh: no benchmark matches $filter" >&2; exit 1; }

printf '%-30s %-48s %9s %9s %9s\n' benchmark function instr/dot branch/dot miss/dot
for name in $names; do
  out="$work/cg.out"
  json="$work/run.json"
  valgrind --tool=cachegrind --cache-sim=no --branch-sim=yes --cachegrind-out-file="$out" \
    "$bench" --benchmark_filter="^${name}\$" --benchmark_min_time=0.01 \
    --benchmark_format=json >"$json" 2>/dev/null
  # Dots of the whole run: items per iteration (items/s x CPU s) x iterations.
  dots=$(awk '
    /"iterations"/ { gsub(/[^0-9.]/, "", $2); it = $2 }
    /"cpu_time"/ { gsub(/[^0-9.e+-]/, "", $2); cpu = $2 }
    /"items_per_second"/ { gsub(/[^0-9.e+-]/, "", $2); rate = $2 }
    END { per = rate * cpu * 1e-9; printf "%.0f", int(per / 64 + 0.5) * 64 * it }' "$json")
  if [ -z "$dots" ] || [ "$dots" = 0 ]; then
    echo "kernel_counts.sh: $name reported no items" >&2
    continue
  fi
  # cg_annotate's function table: Ir Bc Bcm Bi Bim (each with its share
  # in brackets unless 0), then file:function.
  cg_annotate "$out" 2>/dev/null | awk -v dots="$dots" -v name="$name" '
    /PROGRAM TOTALS/ { next }
    /^ *[0-9,]+ +\( *[0-9.]+%\)/ {
      gsub(/\( +/, "(")
      n = 0; fn = ""; share = -1
      for (i = 1; i <= NF; i++) {
        if (n < 5 && $i ~ /^[0-9,]+$/) { v[++n] = $i; gsub(/,/, "", v[n]); continue }
        if (n <= 5 && $i ~ /^\(/) { if (share < 0) { share = $i; gsub(/[()%]/, "", share) } ; continue }
        fn = fn (fn == "" ? "" : " ") $i
      }
      sub(/^[^ ]*\?\?\?:/, "", fn)
      sub(/^[^ ]*\.[A-Za-z]+:/, "", fn)
      gsub(/vantik::halftone_b::|\(anonymous namespace\)::|unsigned int |void /, "", fn)
      sub(/^ColorDiffusionFrame</, "<", fn)
      sub(/\(.*$/, "", fn)
      if (share + 0 < 1 || fn ~ /\?\?\?|PhotoStrip|LevelStrip|Resample|do_lookup|dl_|memset|strcmp/) next
      printf "%-30s %-48s %9.1f %9.2f %9.3f\n", name, substr(fn, 1, 48), v[1] / dots, v[2] / dots, v[3] / dots
    }'
done
