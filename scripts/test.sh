#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test headless under
# Wine, in one CTest run over both build trees: the Windows programs
# (build/mingw) and the pure core natively under the sanitizers, with its
# fuzzers (build/native-asan). Builds and the Wine prefix are CTest fixtures,
# so each test starts once what it needs is ready, two at a time, and any
# failed step fails the command and shows its log.
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
cmake --preset native-asan
cmake --preset mingw
printf '# Both trees, for the test command'"'"'s one CTest run.\nsubdirs(native-asan mingw)\n' > build/CTestTestfile.cmake

# A private X display and one wineserver, and CTest in a process group of
# its own: however this script ends (a failure, Ctrl+C, a kill), all of
# them end with it, and everything the tests started.
source scripts/wine-session.sh "$PWD/build/mingw" yes later
set -m
ctest --test-dir build -j3 --output-on-failure --no-tests=error --timeout 1500 "${labels[@]}" "${args[@]}" &
tests=$!
set +m
trap 'kill -TERM -- -$tests 2> /dev/null; wine_session_end' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
wait $tests
