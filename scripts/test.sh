#!/usr/bin/env bash
# Sets up, builds and runs every test: the portable code natively (ASan and
# UBSan), optimised without sanitizers (valgrind), its parsers and history scan
# under libFuzzer (seed replay and a brief run of each fuzzer), and the Windows
# build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

status=0
for preset in native plain fuzz windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
exit $status
