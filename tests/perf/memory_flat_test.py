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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import run_bench  # noqa: E402

PLANTED_LINE_BYTES = 100 * 1000 * 1000

build, scratch = sys.argv[1], sys.argv[2]
failures = []

hour, day = run_bench.peak_memory(build, scratch)
print("peak resident memory: 1 hour %d KiB, 24 hours %d KiB" % (hour, day))
if hour <= 0 or day <= 0:
    sys.exit("FAIL: no peak memory figure")
if day - hour >= 1024:
    failures.append("a day of history takes %d KiB more than an hour" % (day - hour))

# The hour's file again, with the long line between two of its rows. Commas were the worst case
# of a reader that stored lines: every byte a field.
planted = os.path.join(scratch, "hour-with-long-line")
shutil.rmtree(planted, ignore_errors=True)
os.makedirs(planted)
with open(os.path.join(scratch, "hour", run_bench.history_writer.HISTORY_FILE), "rb") as f:
    lines = f.read().split(b"\n")
middle = len(lines) // 2
with open(os.path.join(planted, run_bench.history_writer.HISTORY_FILE), "wb") as f:
    f.write(b"\n".join(lines[:middle]) + b"\n")
    f.write(b"," * PLANTED_LINE_BYTES + b"\n")
    f.write(b"\n".join(lines[middle:]))
without = run_bench.native(os.path.join(build, "bench", "perf_scan_bench"), os.path.join(scratch, "hour"), 1)
with_line = run_bench.native(os.path.join(build, "bench", "perf_scan_bench"), planted, 1)
shutil.rmtree(planted)
print("peak resident memory: 1 hour %d KiB, with a %d MB line %d KiB" %
      (without["peak_rss_kib"], PLANTED_LINE_BYTES // 1000000, with_line["peak_rss_kib"]))
if with_line["metrics"] != without["metrics"]:
    failures.append("the long line changed the figures")
if len(with_line["metrics"]) != 51:
    failures.append("the hour gives %d figures, not 51" % len(with_line["metrics"]))
if with_line["peak_rss_kib"] - without["peak_rss_kib"] >= 1024:
    failures.append("the long line takes %d KiB more" % (with_line["peak_rss_kib"] - without["peak_rss_kib"]))

for failure in failures:
    print("FAIL: " + failure)
sys.exit(1 if failures else 0)
