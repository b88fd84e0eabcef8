"""The scan's memory does not grow with the history: its peak resident memory over a day of
samples at one a second (four files, about 73 MB) stays within 1 MB of its peak over an hour.

    memory_flat_test.py PLAIN_BUILD_DIR SCRATCH_DIR
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import run_bench  # noqa: E402

PLAIN_BUILD_DIR, SCRATCH_DIR = sys.argv[1:3]


class MemoryFlat(unittest.TestCase):
    def test_a_day_takes_under_1_mb_more_than_an_hour(self):
        hour, day = run_bench.peak_memory(PLAIN_BUILD_DIR, SCRATCH_DIR)
        print("peak resident memory: 1 hour %d KiB, 24 hours %d KiB" % (hour, day))
        self.assertTrue(hour > 0 and day > 0, "no peak memory figure")
        self.assertLess(day - hour, 1024, "a day of history takes %d KiB more than an hour" % (day - hour))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
