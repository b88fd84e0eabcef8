#!/usr/bin/env bash
# Checks that every C++ file of ours (src, tests, tools, bench) is as
# clang-format-14 writes it with the checked-in .clang-format, naming each
# line that is not.
#     check-format.sh         check (the test command runs this)
#     check-format.sh --fix   rewrite the files in place
set -euo pipefail
cd "$(dirname "$0")/.."

command -v clang-format-14 >/dev/null || { echo "clang-format: clang-format-14 not found (scripts/setup.sh installs it)" >&2; exit 1; }
mapfile -t files < <(find src tests tools bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
[ ${#files[@]} -gt 0 ] || { echo "clang-format: no C++ files found" >&2; exit 1; }

if [ "${1:-}" = "--fix" ]; then
  clang-format-14 -i "${files[@]}"
  exit 0
fi
if clang-format-14 --dry-run --Werror "${files[@]}"; then
  echo "clang-format: ${#files[@]} files formatted"
else
  echo "clang-format: files above differ from .clang-format; scripts/check-format.sh --fix rewrites them" >&2
  exit 1
fi
