#!/bin/sh
# The Wine test rig: "start PREFIX" makes a fresh prefix with a persistent,
# warmed-up wineserver; "stop PREFIX" ends that wineserver.
#
# No standard stream of wineserver or of the warm-up is a pipe: the services
# Wine starts on first use inherit the first program's streams, and anything
# waiting for a pipe to close (ctest, $(...)) would hang for ever. What Wine
# says goes to a log file in the prefix instead, printed when a step fails.
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix"
export WINEDEBUG=err+all,fixme-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export PATH="/usr/lib/wine:$PATH"
log="$prefix/wine-rig.log"

# Runs one step with its output in the log; on failure prints the log and ends.
step() {
  status=0
  "$@" </dev/null >>"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "wine rig: '$*' failed with exit code $status; what Wine said:" >&2
    cat "$log" >&2
    exit 1
  fi
}

case "$action" in
start)
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$prefix"
  mkdir -p "$prefix"
  step wineserver -p
  step wine64 wineboot -i
  step wine64 cmd /c exit
  if [ ! -d "$prefix/drive_c/ProgramData" ]; then
    echo "wine rig: no ProgramData in $prefix; what Wine said:" >&2
    cat "$log" >&2
    exit 1
  fi
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
