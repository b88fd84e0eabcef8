#!/usr/bin/env bash
# Runs a fuzzer for ctest.
#
#   run_fuzzer.sh replay FUZZER SEEDS REGRESSIONS SCRATCH
#       every input of both folders once, without fuzzing
#   run_fuzzer.sh brief FUZZER SEEDS REGRESSIONS SCRATCH [libFuzzer flags...]
#       fuzzes from both folders; new inputs go to SCRATCH/corpus, emptied
#       first so each run takes the same time
#
# A failing input goes to SCRATCH/artifacts, never into the source tree.
set -euo pipefail

mode=$1 fuzzer=$2 seeds=$3 regressions=$4 scratch=$5
shift 5
mkdir -p "$scratch/artifacts"
case $mode in
  replay)
    exec "$fuzzer" -runs=0 -artifact_prefix="$scratch/artifacts/" "$seeds" "$regressions"
    ;;
  brief)
    rm -rf "$scratch/corpus"
    mkdir -p "$scratch/corpus"
    # The first folder is the one libFuzzer adds to.
    exec "$fuzzer" -print_final_stats=1 -artifact_prefix="$scratch/artifacts/" "$@" \
      "$scratch/corpus" "$seeds" "$regressions"
    ;;
  *)
    echo "run_fuzzer.sh: unknown mode $mode" >&2
    exit 2
    ;;
esac
