#!/usr/bin/env bash
# Builds vantik (Release) and prints the test chart on the built-in
# resources: one 1-bit PBM per ink and a simulated print
# (out/chart-print.png) land in out/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target vantik
mkdir -p out
build/release/tools/vantik chart -o out/chart.png
build/release/tools/vantik print out/chart.png -o out/
