#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless under Wine.
# --long adds the endurance runs (200 runs in a row, a flood of a million
# lines and a 10 MB line, and minutes of fuzzing): run it before a release,
# and after touching the log or the run. Other arguments go to ctest.
#
# Both cores stay at work: the two builds are configured together, the Wine
# prefix gets ready beside the Windows build, and the native build with its
# tests and fuzzers runs beside the Windows build and its tests (its output
# comes after theirs). Within each CTest run, independent tests run side by
# side; the programs under Wine take turns (RESOURCE_LOCK in tests/).
set -euo pipefail
cd "$(dirname "$0")/.."
labels=(-LE long)
args=()
for arg in "$@"; do
  if [ "$arg" = --long ]; then labels=(); else args+=("$arg"); fi
done
scripts/setup-debian.sh

configure_log=$(mktemp)
cmake --preset native-asan > "$configure_log" 2>&1 &
native_configure=$!
cmake --preset mingw
wait $native_configure || { cat "$configure_log"; exit 1; }
rm -f "$configure_log"

# The pure core natively, under AddressSanitizer and UBSan, and its fuzzers:
# at a lower priority while the Windows test programs build, which is what
# the rest waits for, and at the same priority once they are built (lower all along, two
# CPU hogs starved the fuzzers for minutes).
native_log=build/native-asan/test-output.log
(nice -n 10 cmake --build --preset native-asan && ctest --preset native-asan -j2 "${labels[@]}" "${args[@]}") \
  > "$native_log" 2>&1 &
native=$!

# The Windows program and its tests, under Wine on a private X display.
source scripts/wine-session.sh "$PWD/build/mingw" yes later
wine_prefix_ready > build/mingw/wine-prefix.log 2>&1 &
prefix=$!
# The test programs first; the rest of the build (the benchmark) goes on
# beside their tests.
status=0
cmake --build --preset mingw --target dravlet_tests app_tests dll_search_tests || status=$?
with_children() { echo "$1"; for child in $(pgrep -P "$1"); do with_children "$child"; done; }
renice -n 0 -p $(with_children $native) > /dev/null 2>&1 || true
rest_log=build/mingw/build-rest.log
cmake --build --preset mingw > "$rest_log" 2>&1 &
rest=$!
wait $prefix || true
[ $status -ne 0 ] || ctest --preset mingw -j2 "${labels[@]}" "${args[@]}" || status=$?
wait $rest || { cat "$rest_log"; status=1; }

native_status=0
wait $native || native_status=$?
echo "---- native build, pure tests and fuzzers ($native_log)"
cat "$native_log"
[ $native_status -eq 0 ] || status=$native_status
exit $status
