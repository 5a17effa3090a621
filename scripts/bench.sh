#!/usr/bin/env bash
# Installs what is missing, builds, and runs the benchmarks under Wine on a
# private X display. Figures go to build/mingw/bench-results.md. Pass
# --short for the quick run CI makes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset mingw
cmake --build --preset mingw
source scripts/wine-session.sh "$PWD/build/mingw" yes
wine build/mingw/tests/dravlet_bench.exe "$@"
