#!/usr/bin/env bash
# Checks that every C++ file in the repository is as clang-format-14 writes it
# with the checked-in .clang-format, naming each line that is not.
#     check-format.sh         check (the test command runs this)
#     check-format.sh --fix   rewrite the files in place
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
else
  mapfile -t files < <(find src tests tools bench -name '*.cpp' -o -name '*.h' | sort)
fi
# A tracked file deleted in the working tree is not ours to check.
present=()
for f in "${files[@]}"; do [ -f "$f" ] && present+=("$f"); done
files=("${present[@]}")

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
