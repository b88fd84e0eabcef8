#!/usr/bin/env bash
# Sets up, builds and runs the collector under Wine, then shows its document.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >&2
cmake --preset windows >/dev/null
cmake --build --preset windows --target telemetry_collector >&2

prefix=build/windows/run-prefix
export WINEPREFIX="$PWD/$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8
export PATH="/usr/lib/wine:$PATH"
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  echo "run: creating a Wine prefix where nothing of the product is installed" >&2
  wineserver -p </dev/null >/dev/null 2>&1
  wine64 wineboot -i </dev/null >/dev/null 2>&1
fi
wineserver -p </dev/null >/dev/null 2>&1 || true
wine64 cmd /c exit </dev/null >/dev/null 2>&1

document=$(wine64 build/windows/src/app/CorvexTelemetry.exe </dev/null)
wineserver -k </dev/null >/dev/null 2>&1 || true
printf '%s' "$document"
printf '\n\n'
printf '%s' "$document" | python3 -m json.tool
