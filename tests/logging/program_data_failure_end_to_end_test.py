#!/usr/bin/env python3
"""End to end: a collector whose shell never finds ProgramData prints its error
line on standard error, nothing on standard output, exits 1, and leaves one log
file in the temporary directory, found by the name built from the time text
and compared byte for byte. The executable sits at a path longer than 260
characters, which the log's header still shows whole.

Argument: the collector built with the failing SHGetKnownFolderPath stand-in.
"""
import glob
import math
import os
import shutil
import subprocess
import sys
import time

VARIANT = sys.argv[1]
PREFIX = os.environ["WINEPREFIX"]
WINE = os.environ["WINE_EXEC"]
DRIVE_C = os.path.join(PREFIX, "drive_c")

# Five folders of 60 characters: the executable's path is over 300 long.
FOLDERS = ["corvex end to end " + "d" * 42] + ["folder %d " % i + "e" * 51 for i in range(4)]
EXE_NAME = "CorvexTelemetryNoProgramData.exe"
EXE_WINDOWS = "C:\\" + "\\".join(FOLDERS) + "\\" + EXE_NAME
ERROR_REST = ", ERROR : Failed to locate ProgramData directory using SHGetKnownFolderPath."


def time_text(seconds):
    """The English (United States) short date and time, as the prefix formats it."""
    local = time.localtime(seconds)
    date = f"{local.tm_mon}/{local.tm_mday}/{local.tm_year}"
    if (local.tm_hour, local.tm_min, local.tm_sec) == (0, 0, 0):
        return date
    hour = local.tm_hour % 12 or 12
    noon = "AM" if local.tm_hour < 12 else "PM"
    return f"{date} {hour}:{local.tm_min:02}:{local.tm_sec:02} {noon}"


def temp_directory():
    found = glob.glob(os.path.join(DRIVE_C, "users", "*", "Temp"))
    if len(found) != 1:
        raise RuntimeError(f"temporary directory not found: {found}")
    return found[0]


def main():
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)
            print("FAIL: " + message, file=sys.stderr)

    temp = temp_directory()
    for leftover in glob.glob(os.path.join(temp, "Corvex Valmere *.log")):
        os.remove(leftover)
    folder = os.path.join(DRIVE_C, *FOLDERS)
    os.makedirs(folder, exist_ok=True)
    shutil.copy(VARIANT, os.path.join(folder, EXE_NAME))
    check(len(EXE_WINDOWS) > 260, "the executable's path is not long")
    try:
        before = math.floor(time.time())
        result = subprocess.run([WINE, EXE_WINDOWS], stdin=subprocess.DEVNULL, capture_output=True,
                                cwd=DRIVE_C, timeout=120)
        after = math.floor(time.time())

        check(result.returncode == 1, f"exit code {result.returncode}")
        check(result.stdout == b"", f"standard output {result.stdout!r}")
        check(result.stderr == b"Failed to locate ProgramData directory\r\n", f"standard error {result.stderr!r}")

        texts = [time_text(t) for t in range(before, after + 1)]
        named = [os.path.join(temp, "Corvex Valmere " + t.replace("/", "-").replace(":", "_") + ".log")
                 for t in texts]
        existing = [path for path in named if os.path.exists(path)]
        check(len(existing) == 1, f"log files named after the time text: {existing}")
        check(glob.glob(os.path.join(temp, "Corvex Valmere *.log")) == existing, "other log files appeared")
        if existing:
            content = open(existing[0], "rb").read()
            expected = [b"\xff\xfe" + ("Started " + EXE_WINDOWS + "\r\n" + t + ERROR_REST + "\r\n")
                        .encode("utf-16-le") for t in texts]
            check(content in expected, f"log file content {content!r}")
    finally:
        for log in glob.glob(os.path.join(temp, "Corvex Valmere *.log")):
            os.remove(log)
        shutil.rmtree(os.path.join(DRIVE_C, FOLDERS[0]), ignore_errors=True)

    if failures:
        return 1
    print("ProgramData failure end to end: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
