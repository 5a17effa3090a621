#!/usr/bin/env bash
# Installs what is missing, builds, and shows dravlet-ui at work under Wine,
# with a demo uploader beside it as kestrup.exe: no news server is needed, it
# prints one "Upload[i/n] <file>" line per file of the chosen folder.
#
# With a display it starts the program for you to try: press Choose folder
# and pick the sample folder it names. With no display, or with --auto, it
# goes through a whole session by itself: settings saved through the dialog,
# the sample folder picked in the folder picker, the run to its summary. It
# prints the activity log and the screenshots' paths, and exits non-zero,
# naming the step, if a step fails. --framed (for scripts/screenshots.sh)
# runs that session inside Wine's virtual desktop, which frames the windows
# as Windows does.
set -euo pipefail
cd "$(dirname "$0")/.."
auto=no framed=no
[ -z "${DISPLAY:-}" ] && auto=yes
for arg in "$@"; do
  case "$arg" in
    --auto) auto=yes ;;
    --framed) auto=yes framed=yes ;;
    *) echo "usage: $0 [--auto | --framed]" >&2; exit 2 ;;
  esac
done
scripts/setup-debian.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw

demo="$PWD/build/mingw/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp build/mingw/dravlet-ui.exe "$demo/"
cp build/mingw/tests/kestrup.exe "$demo/kestrup.exe"

if [ $auto = no ]; then
  source scripts/wine-session.sh "$PWD/build/mingw" auto
  # The sample folder, in the Wine user's Documents (the session's own, in this prefix).
  for documents in "$WINEPREFIX"/drive_c/users/*/Documents; do
    mkdir -p "$documents/sample-posts"
    for i in 1 2 3 4 5; do
      head -c $((i * 1024)) /dev/urandom > "$documents/sample-posts/holiday-photos.part0$i.rar"
    done
    echo "Sample folder to pick: $(winepath -w "$documents/sample-posts" 2>/dev/null)"
  done
  wine "$demo/dravlet-ui.exe"
  exit
fi

# The session saves kestrup.toml, so it runs in the build's own Wine prefix,
# which wine-session.sh marks as disposable, on a private virtual display.
source scripts/wine-session.sh "$PWD/build/mingw" yes
session=("$PWD/build/mingw/tests/app_tests.exe" --gtest_filter=Demo.AWholeSessionByItself --auto)
[ $framed = yes ] && session=(explorer /desktop=dravlet-ui,1024x768 "${session[@]}")
output=$(wine "${session[@]}" 2>&1) || true
echo "$output"
# Judged by its output: explorer does not pass the session's exit code on.
grep -q '^\[  PASSED  \] 1 test' <<<"$output" || { echo "The demo session failed (see the step above)." >&2; exit 1; }
echo "Screenshot of the finished run: $(ls "$PWD/build/mingw/screenshots/main-window-run.png")"
