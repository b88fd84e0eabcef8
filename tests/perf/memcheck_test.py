"""valgrind memcheck over the CSV reader and the whole scan on broken histories.

    memcheck_test.py HISTORY_WALK TOOLS_DIR SCRATCH_DIR

Each history is walked by history_walk (every row through the reader, then the scan) under
memcheck: no invalid access, no uninitialised value used, no leak of any kind that the program
itself could free, and the walk must report the paths it was meant to take.
"""
import os
import random
import re
import shutil
import subprocess
import sys
import unittest

walker, tools, scratch = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
sys.path.insert(0, tools)
import history_writer as hw  # noqa: E402

NOW = hw.ticks_from_datetime(hw.datetime.datetime(2026, 12, 10, tzinfo=hw.datetime.timezone.utc))


def write(directory, rows=400, files=3, broken=None, **kwargs):
    samples = list(hw.generate_samples(rows, NOW - 30 * hw.TICKS_PER_SECOND, 60 * hw.TICKS_PER_SECOND, seed=5,
                                       **kwargs))
    return hw.write_history(directory, samples, files, hw.Layout(order="shuffled"), broken or {}, NOW)


def every_kind(directory):
    # Each broken row kind the sampler's files have been seen with, a reboot and a counter
    # restart, across three files.
    broken = {20 + 25 * i: kind for i, kind in enumerate(k for k in hw.BROKEN_ROWS if k != "odd_quotes")}
    write(directory, broken=broken, boot_changes=[150], counter_restarts=[300])


def odd_quotes(directory):
    write(directory, broken={250: "odd_quotes"})


def truncated(directory):
    paths = write(directory)
    with open(paths[0], "r+b") as f:  # the newest stops in the middle of a row
        f.truncate(os.path.getsize(paths[0]) - 37)
    with open(paths[1], "r+b") as f:  # an older one in the middle of its header
        f.truncate(500)


def garbage(directory):
    # The older file keeps its header and first rows, so the scan takes it; then come lines
    # of bytes of every value, NULs and lone CRs (an even number of quotes a line), and a
    # line of 300 KB, longer than any buffer the reader starts with.
    paths = write(directory, files=2)
    rng = random.Random(3)
    with open(paths[1], "rb") as f:
        head = f.readlines()[:21]
    with open(paths[1], "wb") as f:
        f.writelines(head)
        for _ in range(200):
            line = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 400))).replace(b"\n", b"")
            f.write(line + (b'"' if line.count(b'"') % 2 else b"") + b"\r\n")
        f.write(b"9" * 300_000 + b"\r\n")
    with open(os.path.join(directory, hw.HISTORY_FILE + ".2"), "wb") as f:
        f.write(b"")


def empty_and_header_only(directory):
    os.makedirs(directory)
    paths = write(directory, files=2)
    with open(paths[0], "rb") as f:
        header = f.readline()
    with open(paths[0], "wb") as f:
        f.write(header)
    with open(paths[1], "wb"):
        pass


HISTORIES = [
    # name, build, what the walk must print
    ("every_kind", every_kind, r"files 3 rows \d+ odd-quote rows 0\nscan: 51 figures"),
    ("odd_quotes", odd_quotes, r"files 3 rows \d+ odd-quote rows 1\nscan: odd number of quotes in CSV row"),
    ("truncated", truncated, r"files 3 rows \d+ odd-quote rows 0\nscan: 51 figures"),
    ("garbage", garbage, r"files 3 rows \d+ odd-quote rows 0\nscan: 51 figures"),
    ("empty_and_header_only", empty_and_header_only, r"files 2 rows 1 odd-quote rows 0\nscan: 0 figures"),
]


class Memcheck(unittest.TestCase):
    def test_every_history_walks_clean(self):
        shutil.rmtree(scratch, ignore_errors=True)
        for name, build, expected in HISTORIES:
            with self.subTest(name):
                directory = os.path.join(scratch, name)
                build(directory)
                log = os.path.join(scratch, name + ".valgrind")
                result = subprocess.run(
                    ["valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=all",
                     "--errors-for-leak-kinds=definite,indirect,possible", "--track-origins=yes",
                     "--error-exitcode=99", "--log-file=" + log, walker, directory, str(NOW)],
                    capture_output=True, text=True)
                with open(log) as f:
                    report = f.read()
                heap = re.search(r"total heap usage: .*", report)
                print("%-22s %s | %s" % (name, result.stdout.strip().replace("\n", " | "),
                                         heap.group(0) if heap else "?"))
                self.assertEqual(result.returncode, 0, "exit %d (99 means memcheck errors)\n%s" % (
                    result.returncode, report))
                self.assertIn("ERROR SUMMARY: 0 errors", report, "memcheck reported errors")
                self.assertIsNotNone(re.fullmatch(expected + r"\n", result.stdout),
                                     "the walk printed %r, wanted /%s/" % (result.stdout, expected))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
