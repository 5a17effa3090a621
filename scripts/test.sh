#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset mingw
cmake --build --preset mingw
source scripts/wine-session.sh "$PWD/build/mingw" yes
ctest --preset mingw "$@"
