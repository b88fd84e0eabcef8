#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, only when
# something is missing. Safe to run again and again. Arguments name further
# packages (the benchmarks add pandas).
set -euo pipefail

# wine64-preloader: without it wine64 starts without reserving Wine's fixed addresses, and about
# one start in 5,000 fails before the program runs (the program break lands on the shared user data).
packages=(
  cmake ninja-build g++ python3
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine64-preloader libboost-dev googletest
  python3-jsonschema
  clang libclang-rt-14-dev valgrind
  # The house checks: formatting and static analysis (.clang-format, .clang-tidy).
  clang-format-14 clang-tidy-14
  # GNU time: the peak memory of a Windows process under Wine.
  time
  # The release checks: the clock moved for a second build, diffoscope to say
  # where two ZIPs differ, and SPDX's own lists of licence identifiers.
  faketime diffoscope-minimal unzip node-spdx-license-ids node-spdx-exceptions
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The Wine loader lives outside PATH; its presence is what the tests rely on.
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: build tools present"
