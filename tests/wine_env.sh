#!/usr/bin/env bash
# The Wine environment of one test run: an Xvfb display and a WINEPREFIX of its own, both under
# the build tree, with the Japanese locale so that the ANSI code page is 932.
#   wine_env.sh setup STATE_DIR      start Xvfb, create the prefix (a CTest fixture)
#   wine_env.sh run STATE_DIR EXE..  run a Windows program in it, passing its exit code on
#   wine_env.sh cleanup STATE_DIR    stop the wineserver and Xvfb, remove the prefix
set -euo pipefail
cmd=$1
state=$2
shift 2
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
export WINEPREFIX="$state/prefix" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="

case "$cmd" in
  setup)
    "$0" cleanup "$state" || true
    mkdir -p "$state"
    display=""
    for n in $(seq 91 199); do
      if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
    done
    [ -n "$display" ] || { echo "wine_env: no free X display" >&2; exit 1; }
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
    echo "$display" >"$state/display"
    export DISPLAY="$display"
    "$wine" wineboot -i >"$state/wineboot.log" 2>&1
    # Let Wine draw the frames itself, caption included (Xvfb runs no window manager).
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    "$wineserver" -w
    echo "wine_env: prefix $WINEPREFIX on display $display"
    ;;
  run)
    [ -f "$state/display" ] || { echo "wine_env: run 'setup' first" >&2; exit 1; }
    export DISPLAY="$(cat "$state/display")"
    exe=$1
    shift
    exec "$wine" "$exe" "$@"
    ;;
  cleanup)
    if [ -d "$WINEPREFIX" ]; then "$wineserver" -k 2>/dev/null || true; fi
    if [ -f "$state/xvfb.pid" ]; then kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true; fi
    rm -rf "$state"
    ;;
  *)
    echo "usage: wine_env.sh setup|run|cleanup STATE_DIR [EXE ARGS...]" >&2
    exit 2
    ;;
esac
