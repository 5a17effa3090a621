#!/usr/bin/env bash
# Installs what is missing, builds, and makes the release package
# build/mingw/package/dravlet-ui-<version>-win64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset mingw
cmake --build --preset mingw
(cd build/mingw && cpack --config CPackConfig.cmake)
ls build/mingw/package/*.zip
