#!/usr/bin/env bash
# Sets up, builds and runs the benchmarks: the performance scan beside wc -l,
# pandas and Python's csv module on a day of history, its memory over an hour
# and a day, and the shipped collector under warm Wine on the demo endpoint with
# and without a day of history, beside a trivial Windows program and one with
# its imports, its own work split by source. Arguments go to bench/run_bench.py
# (--repeats N).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh python3-pandas >&2
cmake --preset plain >/dev/null
cmake --build --preset plain --target perf_scan_bench >&2
cmake --preset windows >/dev/null
cmake --build --preset windows --target trivial_program imports_only collector_phases perf_scan_bench >&2
# The demo endpoint, made or refreshed as the run command does.
bash scripts/run.sh >/dev/null

# Let the demo run's wineserver finish shutting down before anything is timed.
sleep 3
exec /usr/bin/python3 bench/run_bench.py "$@"
