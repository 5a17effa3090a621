#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless under Wine.
# --long adds the endurance runs (200 runs in a row, a flood of a million
# lines and a 10 MB line, and minutes of fuzzing): run it before a release,
# and after touching the log or the run. Other arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
labels=(-LE long)
args=()
for arg in "$@"; do
  if [ "$arg" = --long ]; then labels=(); else args+=("$arg"); fi
done
scripts/setup-debian.sh

# The pure core natively, under AddressSanitizer and UBSan, and its fuzzers.
cmake --preset native-asan
cmake --build --preset native-asan
ctest --preset native-asan "${labels[@]}" "${args[@]}"

# The Windows program and its tests, under Wine on a private X display.
cmake --preset mingw
cmake --build --preset mingw
source scripts/wine-session.sh "$PWD/build/mingw" yes
ctest --preset mingw "${labels[@]}" "${args[@]}"
