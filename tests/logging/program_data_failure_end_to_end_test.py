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
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import wine_harness  # noqa: E402

VARIANT = sys.argv[1]
DRIVE_C = wine_harness.drive_c()

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


class ProgramDataFailure(unittest.TestCase):
    def setUp(self):
        self.temp = temp_directory()
        self.remove_logs()
        self.addCleanup(self.remove_logs)
        folder = os.path.join(DRIVE_C, *FOLDERS)
        os.makedirs(folder, exist_ok=True)
        self.addCleanup(shutil.rmtree, os.path.join(DRIVE_C, FOLDERS[0]), True)
        shutil.copy(VARIANT, os.path.join(folder, EXE_NAME))

    def logs(self):
        return glob.glob(os.path.join(self.temp, "Corvex Valmere *.log"))

    def remove_logs(self):
        for log in self.logs():
            os.remove(log)

    def test_error_line_exit_code_and_one_log_file_named_after_the_time(self):
        self.assertGreater(len(EXE_WINDOWS), 260, "the executable's path is not long")
        before = math.floor(time.time())
        code, out, err = wine_harness.run_windows(EXE_WINDOWS, cwd=DRIVE_C)
        after = math.floor(time.time())

        self.assertEqual(code, 1, "exit code")
        self.assertEqual(out, b"", "standard output")
        self.assertEqual(err, b"Failed to locate ProgramData directory\r\n", "standard error")

        texts = [time_text(t) for t in range(before, after + 1)]
        named = [os.path.join(self.temp, "Corvex Valmere " + t.replace("/", "-").replace(":", "_") + ".log")
                 for t in texts]
        existing = [path for path in named if os.path.exists(path)]
        self.assertEqual(len(existing), 1, f"log files named after the time text: {existing}")
        self.assertEqual(self.logs(), existing, "other log files appeared")
        with open(existing[0], "rb") as f:
            content = f.read()
        expected = [b"\xff\xfe" + ("Started " + EXE_WINDOWS + "\r\n" + t + ERROR_REST + "\r\n")
                    .encode("utf-16-le") for t in texts]
        self.assertIn(content, expected, "log file content")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
