# Sourced by the scripts that run Windows programs: gives the build its own
# Wine prefix, an X display (a private Xvfb when none is set or when forced
# headless) and one wineserver kept alive until the caller exits.
#   source scripts/wine-session.sh BUILD_DIR [yes|auto] [later]
# With "later" the prefix is not made ready here: the caller runs
# wine_prefix_ready (in the background, say, beside a build: a fresh prefix
# takes seconds) before it starts a Windows program.
#
# The prefix is marked as disposable (C:\dravlet-disposable-prefix.txt):
# only there do the tests and the demo write the user's own settings file or
# move the roaming folder. Anywhere else, on Windows too, they skip that.
build_dir="$1"
headless="${2:-auto}"
prefix_when="${3:-now}"
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64

xvfb_pid=""
if [ "$headless" = yes ] || [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
  done
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY="$display"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

wine_session_end() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap wine_session_end EXIT

wine_prefix_ready() {
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX (once)..."
  wineboot -i >/dev/null 2>&1 || true
fi
wineserver -p >/dev/null 2>&1 || true
wineboot >/dev/null 2>&1 || true
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
# With no window manager on a private Xvfb, Wine waits two seconds for one
# whenever a window shows or hides; unmanaged windows, framed by Wine itself,
# need none.
if [ -n "$xvfb_pid" ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
else
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
fi
}
[ "$prefix_when" = later ] || wine_prefix_ready
