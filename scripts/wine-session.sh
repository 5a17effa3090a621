# Sourced by the scripts that run Windows programs: gives the build its own
# Wine prefix, an X display (a private Xvfb when none is set or when forced
# headless) and one wineserver kept alive until the caller exits.
#   source scripts/wine-session.sh BUILD_DIR [yes|auto] [later]
# With "later" the prefix is not made ready here: the caller runs
# scripts/wine-prefix.sh (the test command, as a CTest fixture) before it
# starts a Windows program.
build_dir="$1"
headless="${2:-auto}"
prefix_when="${3:-now}"
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
export WINE_PRIVATE_DISPLAY=no

xvfb_pid=""
if [ "$headless" = yes ] || [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
  done
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY="$display" WINE_PRIVATE_DISPLAY=yes
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

wine_session_end() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap wine_session_end EXIT

if [ "$prefix_when" != later ]; then
  prefix_log=$(mktemp)
  "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh" > "$prefix_log" 2>&1 || { cat "$prefix_log"; exit 1; }
  rm -f "$prefix_log"
fi
