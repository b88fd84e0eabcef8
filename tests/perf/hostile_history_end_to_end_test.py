#!/usr/bin/env python3
"""The shipped collector under Wine on history files a crash, a full disk or a hostile local user
could leave in the Perf folder: memory stays bounded, and the document is the one the history
without the planted bytes gives.

    hostile_history_end_to_end_test.py COLLECTOR_EXE TOOLS_DIR

Each case writes a day of history at one row a minute, runs the collector, plants the bytes, and
runs it again: both exit 0, both documents are equal but for the current time, and the Windows
process (the Wine loader, measured by GNU time) peaks under 48 MB. Long runs of NUL bytes are sparse
files and cost no disk; the lines of commas and of quote pairs are real bytes, a few hundred MB.
"""
import os
import re
import sys
import unittest

COLLECTOR, TOOLS_DIR = sys.argv[1:3]
sys.path.insert(0, TOOLS_DIR)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import history_writer as hw  # noqa: E402
import wine_harness  # noqa: E402

PROGRAM_DATA = wine_harness.drive_c("ProgramData")
PERF_PARTS = ["Corvex", "Valmere", "Logs", "Perf"]
PERF_DIR = os.path.join(PROGRAM_DATA, *PERF_PARTS)
MEMORY_BOUND_KIB = 48 * 1024
MB = 1000 * 1000
GIB = 1 << 30


def sparse_nul_bytes(path, size):
    """size NUL bytes at the end of path, without writing them: the file is extended, not filled."""
    with open(path, "ab") as f:
        f.truncate(os.path.getsize(path) + size)


def append_line(path, pattern, size, line_end=b"\r\n"):
    """A line of about size bytes of pattern, its line end, then the file's rows again."""
    with open(path, "rb") as f:
        header, *rows = f.read().split(line_end)
    middle = len(rows) // 2
    with open(path, "wb") as f:
        f.write(line_end.join([header] + rows[:middle]) + line_end)
        block = pattern * (MB // len(pattern))
        for _ in range(size // len(block)):
            f.write(block)
        f.write(line_end + line_end.join(rows[middle:]))


class HostileHistory(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.created = wine_harness.make_directories(PROGRAM_DATA, PERF_PARTS)
        # 23 hours of rows ending five minutes ago: every row stays inside the 24-hour window for as
        # long as the test runs, so the two runs of a case read the same rows.
        now = hw.now_ticks()
        cls.samples = list(hw.generate_samples(23 * 60, now - 5 * 60 * hw.TICKS_PER_SECOND, seed=5))

    @classmethod
    def tearDownClass(cls):
        cls.clear()
        for path in reversed(cls.created):
            os.rmdir(path)

    @staticmethod
    def clear():
        for name in os.listdir(PERF_DIR):
            os.remove(os.path.join(PERF_DIR, name))

    def write(self, files):
        self.clear()
        return hw.write_history(PERF_DIR, self.samples, files=files)

    def run_collector(self, what):
        code, stdout, stderr, peak_kib = wine_harness.run_windows_measured(COLLECTOR, timeout=300)
        self.assertEqual((code, stderr), (0, b""), what)
        self.assertLess(peak_kib, MEMORY_BOUND_KIB, "%s: peak memory %d KiB" % (what, peak_kib))
        return re.sub(rb'"Current Time": \d+', b"", stdout), peak_kib

    def check_case(self, name, prepare, plant):
        """prepare() writes the history without the planted bytes, plant() adds them."""
        prepare()
        without, without_kib = self.run_collector(name + ", without the planted bytes")
        plant()
        planted, planted_kib = self.run_collector(name)
        print("%s: peak memory %d KiB, without the planted bytes %d KiB" % (name, planted_kib, without_kib))
        self.assertEqual(planted, without, name)
        return without

    def test_a_sparse_file_of_nul_bytes_as_the_newest_file(self):
        for name, size in (("1 GiB", GIB), ("2 GB", 2 * 1000 * MB)):
            self.check_case("%s of NUL bytes as ZelPerformance.csv" % name, self.clear,
                            lambda: sparse_nul_bytes(hw.history_path(PERF_DIR, 0), size))

    def test_a_sparse_file_of_nul_bytes_behind_a_valid_newest_file(self):
        def prepare():
            self.write(files=2)
            os.remove(hw.history_path(PERF_DIR, 1))

        document = self.check_case("2 GB of NUL bytes as ZelPerformance.csv.1", prepare,
                                   lambda: sparse_nul_bytes(hw.history_path(PERF_DIR, 1), 2 * 1000 * MB))
        self.assertIn(b'"pinHashCacheTotal"', document, "the newest file alone gives figures")

    def test_valid_rows_then_a_long_line_without_a_line_feed(self):
        document = self.check_case("valid rows, then 500 MB of NUL bytes without a line feed",
                                   lambda: self.write(files=1),
                                   lambda: sparse_nul_bytes(hw.history_path(PERF_DIR, 0), 500 * MB))
        self.assertIn(b'"pinHashCacheTotal"', document)

    def test_a_long_line_between_valid_rows(self):
        for name, pattern, size in (("commas", b",", 300 * MB), ('"",', b'"",', 100 * MB)):
            document = self.check_case("valid rows, a %d MB line of %s with its line end, valid rows" % (
                size // MB, name), lambda: self.write(files=1),
                lambda: append_line(hw.history_path(PERF_DIR, 0), pattern, size))
            self.assertIn(b'"pinHashCacheTotal"', document)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
