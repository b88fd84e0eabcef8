"""The scan's memory does not grow with the history, nor with one line's length.

Its peak resident memory over a day of samples at one a second (four files, about 73 MB) stays
within 1 MB of its peak over an hour; and over an hour of history with a 100 MB line of commas
planted in its middle (a line the reader consumes without storing) within 1 MB of the same hour
without it.

    memory_flat_test.py PLAIN_BUILD_DIR SCRATCH_DIR
"""
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import run_bench  # noqa: E402

PLAIN_BUILD_DIR, SCRATCH_DIR = sys.argv[1:3]
PLANTED_LINE_BYTES = 100 * 1000 * 1000


class MemoryFlat(unittest.TestCase):
    def test_a_day_takes_under_1_mb_more_than_an_hour(self):
        hour, day = run_bench.peak_memory(PLAIN_BUILD_DIR, SCRATCH_DIR)
        print("peak resident memory: 1 hour %d KiB, 24 hours %d KiB" % (hour, day))
        self.assertTrue(hour > 0 and day > 0, "no peak memory figure")
        self.assertLess(day - hour, 1024, "a day of history takes %d KiB more than an hour" % (day - hour))

    def test_a_100_mb_line_takes_under_1_mb_more(self):
        # The hour's file again, with the long line between two of its rows. Commas were the worst
        # case of a reader that stored lines: every byte a field.
        run_bench.peak_memory(PLAIN_BUILD_DIR, SCRATCH_DIR)  # writes the hour's history once
        hour = os.path.join(SCRATCH_DIR, "hour")
        planted = os.path.join(SCRATCH_DIR, "hour-with-long-line")
        shutil.rmtree(planted, ignore_errors=True)
        os.makedirs(planted)
        self.addCleanup(shutil.rmtree, planted, True)
        with open(os.path.join(hour, run_bench.history_writer.HISTORY_FILE), "rb") as f:
            lines = f.read().split(b"\n")
        middle = len(lines) // 2
        with open(os.path.join(planted, run_bench.history_writer.HISTORY_FILE), "wb") as f:
            f.write(b"\n".join(lines[:middle]) + b"\n")
            f.write(b"," * PLANTED_LINE_BYTES + b"\n")
            f.write(b"\n".join(lines[middle:]))
        bench = os.path.join(PLAIN_BUILD_DIR, "bench", "perf_scan_bench")
        without = run_bench.native(bench, hour, 1)
        with_line = run_bench.native(bench, planted, 1)
        print("peak resident memory: 1 hour %d KiB, with a %d MB line %d KiB" %
              (without["peak_rss_kib"], PLANTED_LINE_BYTES // 1000000, with_line["peak_rss_kib"]))
        self.assertEqual(len(without["metrics"]), 51, "the hour gives all 51 figures")
        self.assertEqual(with_line["metrics"], without["metrics"], "the long line changed the figures")
        self.assertLess(with_line["peak_rss_kib"] - without["peak_rss_kib"], 1024,
                        "the long line takes %d KiB more" % (with_line["peak_rss_kib"] - without["peak_rss_kib"]))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
