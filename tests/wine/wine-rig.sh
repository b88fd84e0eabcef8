#!/bin/sh
# The Wine test rig: "start PREFIX" makes a fresh prefix with a persistent,
# warmed-up wineserver; "stop PREFIX" ends that wineserver.
#
# Every standard stream of wineserver and of the warm-up is redirected: the
# services Wine starts on first use inherit the first program's pipes, and
# anything waiting for those pipes to close (ctest, $(...)) would hang for ever.
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export PATH="/usr/lib/wine:$PATH"

case "$action" in
start)
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineserver -p </dev/null >/dev/null 2>&1
  wine64 wineboot -i </dev/null >/dev/null 2>&1
  wine64 cmd /c exit </dev/null >/dev/null 2>&1
  test -d "$prefix/drive_c/ProgramData"
  echo "wine prefix ready: $prefix"
  ;;
stop)
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  echo "wineserver stopped: $prefix"
  ;;
*)
  echo "usage: $0 start|stop PREFIX" >&2
  exit 2
  ;;
esac
