#!/usr/bin/env bash
# Makes the README's screenshots, docs/main-window-run.png (the main window
# after a run, with its summary box) and docs/settings-dialog.png (the
# settings dialog over it), from the demo session inside Wine's virtual
# desktop, which draws title bars, borders and captions as Windows does.
# It changes tracked files, so neither CI nor the test command runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/demo.sh --framed
for name in main-window-run settings-dialog; do
  cp "build/mingw/screenshots/$name.png" docs/
  echo "docs/$name.png"
done
