"""Profiles a Windows program of this build under Wine, by function.

    /usr/bin/python3 bench/wine_profile.py EXE [ARGUMENTS...]

perf (Debian's linux-perf) samples the Wine process with the cpu-clock event, which needs no
hardware counters. perf cannot read a PE file's symbols: it files the program's own code under
"[JIT]" with bare addresses. This maps those addresses to the functions of the executable's symbol
table (MinGW-w64's nm; the build is not stripped) and lists the share of each function, and of each
Wine DLL or the kernel, of the program's samples. WINEPREFIX must name a prefix with a warm
wineserver.
"""
import bisect
import collections
import os
import re
import subprocess
import sys
import tempfile

NM = "x86_64-w64-mingw32-nm"


def symbols(exe):
    output = subprocess.run([NM, "-C", "--defined-only", "-n", exe], check=True, capture_output=True,
                            text=True).stdout
    starts, names = [], []
    for line in output.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] in "tT":
            starts.append(int(parts[0], 16))
            names.append(parts[2])
    return starts, names


def main():
    exe, arguments = sys.argv[1], sys.argv[2:]
    starts, names = symbols(exe)
    with tempfile.TemporaryDirectory() as scratch:
        data = os.path.join(scratch, "perf.data")
        subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-F", "10000", "-o", data, "--",
                        "/usr/lib/wine/wine64", exe, *arguments], check=True, stdout=subprocess.DEVNULL)
        script = subprocess.run(["perf", "script", "-i", data, "-F", "comm,ip,dso"], check=True,
                                capture_output=True, text=True).stdout
    comm = os.path.basename(exe)[:15]
    counts = collections.Counter()
    for line in script.splitlines():
        match = re.match(r"\s*(\S+)\s+([0-9a-f]+)\s+\((.*)\)", line)
        if not match or match.group(1) != comm:
            continue
        address, dso = int(match.group(2), 16), match.group(3)
        if "[JIT]" in dso or dso.endswith(".exe") or re.search(r"perf-\d+\.map", dso):
            index = bisect.bisect_right(starts, address) - 1
            counts[names[index] if index >= 0 else hex(address)] += 1
        else:
            counts["[%s]" % os.path.basename(dso)] += 1
    total = sum(counts.values())
    print("%d samples of %s" % (total, comm))
    for name, count in counts.most_common(30):
        print("%6.2f%%  %s" % (100.0 * count / total, name))


if __name__ == "__main__":
    main()
