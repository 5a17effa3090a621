#!/usr/bin/env bash
# Installs what is missing, builds, and starts dravlet-ui under Wine with the
# demo uploader beside it as kestrup.exe, so a whole run can be tried without
# a news server. Pick build/mingw/demo/sample-posts (Z:\...\sample-posts in
# the picker) and watch one "Upload[i/n]" line per file arrive.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset mingw
cmake --build --preset mingw

demo="$PWD/build/mingw/demo"
mkdir -p "$demo/sample-posts"
cp build/mingw/dravlet-ui.exe "$demo/"
cp build/mingw/tests/kestrup.exe "$demo/kestrup.exe"
for i in 1 2 3 4 5; do
  head -c $((i * 1024)) /dev/urandom > "$demo/sample-posts/holiday-photos.part0$i.rar"
done

source scripts/wine-session.sh "$PWD/build/mingw" auto
if [ -n "$xvfb_pid" ]; then
  echo "No X display: running on the virtual display $DISPLAY; a screenshot goes to $demo/screen.png."
  ( sleep 8; import -display "$DISPLAY" -window root "$demo/screen.png" 2>/dev/null ) &
fi
echo "Sample folder to pick: $(winepath -w "$demo/sample-posts" 2>/dev/null || echo "$demo/sample-posts")"
wine "$demo/dravlet-ui.exe"
