#!/usr/bin/env bash
# Makes the Wine prefix $WINEPREFIX ready for the build's Windows programs,
# on the display $DISPLAY: the test command runs it as the CTest fixture
# wine_prefix, the other scripts through wine-session.sh. Fails, saying
# which step, when the prefix cannot be made ready.
#
# The prefix is marked as disposable (C:\dravlet-disposable-prefix.txt):
# only there do the tests and the demo write the user's own settings file or
# move the roaming folder. Anywhere else, on Windows too, they skip that.
set -euo pipefail
: "${WINEPREFIX:?must name the prefix of the build}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
step() { echo "wine-prefix: $*"; }
fail() { step "$* failed"; exit 1; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "making $WINEPREFIX (once)"
  wineboot -i || fail "wineboot -i"
fi
# One wineserver for all that follows, kept until the session ends it:
# without it, each program started a server of its own, and one started
# under a test's file-size limit failed. wineboot's own goes first.
if ! wineserver -p 2> /dev/null; then
  wineserver -k 2> /dev/null || true
  wineserver -w
  wineserver -p || fail "wineserver -p"
fi
wineboot || fail wineboot
[ -d "$WINEPREFIX/drive_c/windows/Fonts" ] || fail "the prefix's drive_c/windows/Fonts"
# Debian's Wine looks for its own fonts (Tahoma, and Marlett for the caption
# buttons) in the prefix only; without them windows show stand-in glyphs.
for font in /usr/share/wine/fonts/*; do
  [ -e "$WINEPREFIX/drive_c/windows/Fonts/${font##*/}" ] || cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
# Wine links the Wine user's Documents, Desktop and the like to the Unix
# home folder; in this prefix they are folders of its own, so that nothing
# run here (the demo's sample folder, say) writes into the real home.
for link in "$WINEPREFIX"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
  if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
done
echo "This Wine prefix belongs to dravlet-ui's build: its tests may change this user's files." \
  > "$WINEPREFIX/drive_c/dravlet-disposable-prefix.txt"
# With no window manager on a private Xvfb (WINE_PRIVATE_DISPLAY=yes, set by
# wine-session.sh), Wine waits two seconds for one whenever a window shows
# or hides; unmanaged windows, framed by Wine itself, need none.
if [ "${WINE_PRIVATE_DISPLAY:-no}" = yes ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null
else
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f > /dev/null 2>&1 || true
fi
step "ready"
