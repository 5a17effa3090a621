#!/usr/bin/env bash
# Installs what is missing, builds, and makes the release package
# build/mingw/package/dravlet-ui-<version>-win64.zip with SHA256SUMS and
# TOOLS.txt (the versions of the tools that made it) beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset mingw
cmake --build --preset mingw
cmake -DBUILD="$PWD/build/mingw" -DSOURCE="$PWD" -DVERSION="$(sed -n 's/^project(dravlet-ui VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" \
      -P cmake/release_zip.cmake
ls build/mingw/package/*.zip build/mingw/package/SHA256SUMS build/mingw/package/TOOLS.txt
