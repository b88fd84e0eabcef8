#!/usr/bin/env bash
# Sets up, builds, and runs the collector under Wine on a demo endpoint where the
# product is installed and has run for a day; prints the document, then indented.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >&2
cmake --preset windows >/dev/null
cmake --build --preset windows --target telemetry_collector pdh_standin_dll >&2

exec python3 tools/demo_endpoint.py build/windows/src/app/CorvexTelemetry.exe \
  build/windows/tools/pdh.dll build/windows/demo-prefix
