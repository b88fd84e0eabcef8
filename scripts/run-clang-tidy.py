#!/usr/bin/env python3
"""Runs clang-tidy (Debian's clang-tidy-14) over our sources in one build's
compile database, with the repository's .clang-tidy, and fails on any finding.

    run-clang-tidy.py BUILD_DIR [--skip-files-of OTHER_BUILD_DIR] [--jobs N]

For the MinGW build, clang is pointed at the cross compiler's own C++ headers
(Debian's "12-posix" folder name is not one clang's MinGW driver finds). Files
also compiled by OTHER_BUILD_DIR (the portable build) are left to that run.
"""
import argparse
import json
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OURS = tuple(os.path.join(ROOT, d) + os.sep for d in ("src", "tests", "tools", "bench"))
TIDY = "clang-tidy-14"


def our_sources(build_dir):
    with open(os.path.join(build_dir, "compile_commands.json")) as f:
        entries = json.load(f)
    return entries, sorted({e["file"] for e in entries if e["file"].startswith(OURS) and e["file"].endswith(".cpp")})


def cross_arguments(entries):
    """--target and the C++ header folders of a MinGW compile database, none for a native one."""
    command = entries[0].get("command") or " ".join(entries[0]["arguments"])
    compiler = command.split()[0]
    if "mingw32" not in os.path.basename(compiler):
        return []
    probe = subprocess.run([compiler, "-x", "c++", "-E", "-v", "-"], input="", capture_output=True, text=True)
    lines = probe.stderr.splitlines()
    start = lines.index("#include <...> search starts here:") + 1
    folders = [line.strip() for line in lines[start:lines.index("End of search list.")]]
    # Only libstdc++'s folders: GCC's own intrinsics headers are not for clang.
    folders = [f for f in folders if "/include/c++" in f]
    arguments = ["--extra-arg-before=--target=x86_64-w64-mingw32"]
    arguments += ["--extra-arg=-isystem" + os.path.normpath(f) for f in folders]
    return arguments


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--skip-files-of")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    args = parser.parse_args()

    entries, files = our_sources(args.build_dir)
    if args.skip_files_of and os.path.exists(os.path.join(args.skip_files_of, "compile_commands.json")):
        portable = set(our_sources(args.skip_files_of)[1])
        files = [f for f in files if f not in portable]
    extra = cross_arguments(entries)

    def tidy(path):
        result = subprocess.run([TIDY, "-p", args.build_dir, "--quiet", "--warnings-as-errors=*", *extra, path],
                                capture_output=True, text=True)
        return path, result

    failed = 0
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for path, result in pool.map(tidy, files):
            if result.returncode != 0:
                failed += 1
                print(f"== {os.path.relpath(path, ROOT)}")
                print(result.stdout, end="")
                print(result.stderr, end="", file=sys.stderr)
    print(f"clang-tidy: {len(files)} files, {failed} with findings")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
