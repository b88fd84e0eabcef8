"""The scan's memory does not grow with the history: its peak resident memory over a day of
samples at one a second (four files, about 73 MB) stays within 1 MB of its peak over an hour.

    memory_flat_test.py PLAIN_BUILD_DIR SCRATCH_DIR
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import run_bench  # noqa: E402

hour, day = run_bench.peak_memory(sys.argv[1], sys.argv[2])
print("peak resident memory: 1 hour %d KiB, 24 hours %d KiB" % (hour, day))
if hour <= 0 or day <= 0:
    sys.exit("FAIL: no peak memory figure")
if day - hour >= 1024:
    sys.exit("FAIL: a day of history takes %d KiB more than an hour" % (day - hour))
