#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh

# The pure core natively, under AddressSanitizer and UBSan, and its fuzzers.
cmake --preset native-asan
cmake --build --preset native-asan
ctest --preset native-asan

# The Windows program and its tests, under Wine on a private X display.
cmake --preset mingw
cmake --build --preset mingw
source scripts/wine-session.sh "$PWD/build/mingw" yes
ctest --preset mingw "$@"
