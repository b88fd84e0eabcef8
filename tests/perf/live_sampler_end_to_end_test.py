#!/usr/bin/env python3
"""The collector, run again and again under Wine while the sampler stand-in keeps appending history
rows and rotating the files in the same Wine, so the share modes of both sides meet.

    live_sampler_end_to_end_test.py COLLECTOR_EXE SAMPLER_EXE

Every run must exit 0 with nothing on stderr and print a document that passes the schema, whose
zelPerfTelemetry section is either empty or complete with the figures of the stand-in's steady
driver (any stretch of its rows gives the same averages and rates). A run without statistics must
have overlapped a rotation: only then can the newest file be missing or just begun. At the end the
stand-in must report that no CreateFileW, WriteFile, MoveFileExW or DeleteFileW of it ever failed or
had to be retried, the runs must have seen both rotations and statistics, and the files left behind
must hold the kept rows whole and in order.

The test removes the Perf directory it made in the prefix, also when it fails.
"""

import os
import re
import shutil
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import schema_check  # noqa: E402
import wine_harness  # noqa: E402

COLLECTOR, SAMPLER = sys.argv[1:3]

RUNS = 150
ROWS_PER_FILE = 16
KEEP = 4
TICK_MS = 40  # 25 rows a second: a rotation about every 0.65 s, several collector runs apart

PROGRAM_DATA = wine_harness.drive_c("ProgramData")
PERF_PARTS = ["Corvex", "Valmere", "Logs", "Perf"]
PERF_DIR = os.path.join(PROGRAM_DATA, *PERF_PARTS)
PERF_DIR_WINDOWS = "C:\\ProgramData\\" + "\\".join(PERF_PARTS)
HISTORY_FILE = "ZelPerformance.csv"

# What the stand-in's driver does per call (tools/sampler_standin/sampler_rows.cpp): times in ms,
# speeds in MB/s, cache shares in percent; every interval gives the same value, so the deviation is 0.
EXPECTED_MEANS = {
    "AntiMalwareFilterTime": 0.25, "EventJournalFilterTime": 0.15, "TPFilterTime": 0.05, "OrbFilterTime": 1.25,
    "PinHashTime": 2.5, "PinHashSpeed": 40.0, "PinQixScanTime": 4.0, "PinQixScanSpeed": 20.0,
    "PinOrbScanTime": 1.0, "PinOrbScanSpeed": 80.0, "PinEJHashTime": 7.5, "PinEJHashSpeed": 10.0,
    "HmrOnExecTime": 4.5, "HmrOnOpenTime": 0.35, "HmrOnCloseTime": 0.1,
}
SHARES = {"Hit": 75.0, "Miss": 20.0, "Invalid": 5.0}
# Cache, its lookups per tick relative to the first cache, its rate shares.
CACHES = [("pinHashCache", 1, SHARES), ("pinQixProp", 2, SHARES), ("pinOrbProp", 3, SHARES),
          ("pinDecision", 4, {"Hit": 70.0, "Miss": 20.0, "Invalid": 5.0, "Expired": 5.0}),
          ("pinEJHashCache", 5, SHARES)]
EXPECTED_FIGURES = {}
for _stem, _mean in EXPECTED_MEANS.items():
    EXPECTED_FIGURES["avg" + _stem] = _mean
    EXPECTED_FIGURES["stdev" + _stem] = 0.0
for _cache, _, _shares in CACHES:
    for _rate, _share in _shares.items():
        EXPECTED_FIGURES[_cache + _rate + "Rate"] = _share
ALL_KEYS = set(EXPECTED_FIGURES) | {cache + "Total" for cache, _, _ in CACHES}
assert len(ALL_KEYS) == 51

TIMESTAMP = re.compile(rb"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z")
ANTI_MALWARE_COUNT = b"\\Corvex.ZEL performance(General: Anti-malware file system callback)\\Total count"

class PerfDirectory:
    """Makes the Perf directory (and whichever parents are missing) and removes it with all the
    sampler wrote into it on leaving."""

    def __enter__(self):
        if os.path.exists(PERF_DIR):
            raise AssertionError("the prefix already holds %s" % PERF_DIR)
        self.created = wine_harness.make_directories(PROGRAM_DATA, PERF_PARTS)
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.created[0], ignore_errors=True)
        return False


class Sampler:
    """The stand-in under Wine; a thread collects its event lines as they come."""

    def __init__(self):
        self.process = wine_harness.start_windows(
            SAMPLER, PERF_DIR_WINDOWS, "--rows-per-file", str(ROWS_PER_FILE), "--keep", str(KEEP),
            "--tick-ms", str(TICK_MS), "--max-seconds", "600")
        self.lines = []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.decode("utf-8", "replace").strip())

    def rotations(self):
        """(begin, end) FILETIME ticks of every rotation reported so far."""
        found = []
        for line in list(self.lines):
            if line.startswith("rotation "):
                _, _, begin, end = line.split()
                found.append((int(begin), int(end)))
        return found

    def wait_for_rotation(self, timeout):
        deadline = time.monotonic() + timeout
        while not self.rotations():
            if self.process.poll() is not None or time.monotonic() > deadline:
                # Its standard error, if it said anything, is in this test's output above.
                raise AssertionError("the sampler made no rotation: exit %r, output %r" % (
                    self.process.poll(), self.lines))
            time.sleep(0.05)

    def stop(self):
        """Ends its input, as the stop signal; returns (exit code, summary fields, failure lines)."""
        self.process.stdin.close()
        code = self.process.wait(timeout=60)
        self.reader.join(timeout=10)
        summary = {}
        for line in self.lines:
            if line.startswith("summary "):
                summary = dict(item.split("=", 1) for item in line.split()[1:])
        return code, summary, [line for line in self.lines if line.startswith("failure ")]

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)


class Run:
    """One collector run: its FILETIME span, its seconds, what it printed, and its performance
    section (None when the document is no valid report)."""

    def __init__(self):
        started, self.begin = time.monotonic(), wine_harness.filetime_now()
        self.code, self.out, self.err = wine_harness.run_windows(COLLECTOR)
        self.end, self.seconds = wine_harness.filetime_now(), time.monotonic() - started
        self.problems = schema_check.problems(self.out)
        self.section = None if self.problems else schema_check.parse(self.out)["zelPerfTelemetry"]

    def has_statistics(self):
        return bool(self.section)


def history_rows(name):
    """The header and data rows of one file, and whether it ends with a whole line."""
    with open(os.path.join(PERF_DIR, name), "rb") as f:
        content = f.read()
    lines = content.split(b"\r\n")[:-1]
    return content.endswith(b"\r\n"), lines[0], [line.split(b",") for line in lines[1:]]


class LiveSampler(unittest.TestCase):
    maxDiff = None

    def check_run(self, run):
        """Exit 0, nothing on stderr, a valid report, and an empty section or all 51 entries with
        the stand-in's figures."""
        self.assertEqual(run.code, 0, "exit code %d, stderr %r" % (run.code, run.err))
        self.assertEqual(run.err, b"", "stderr")
        self.assertEqual(run.problems, [], "problems in %r" % run.out[:200])
        section = run.section
        if not section:
            return
        self.assertEqual(set(section), ALL_KEYS, "entries")
        for key, expected in EXPECTED_FIGURES.items():
            self.assertEqual("%.3f" % section[key], "%.3f" % expected, key)
        first_total = section["pinHashCacheTotal"]
        self.assertGreater(first_total, 0, "no cache lookups")
        for cache, factor, _ in CACHES:
            self.assertEqual(section[cache + "Total"], factor * first_total,
                             "%sTotal is not %d times %r" % (cache, factor, first_total))

    def check_files_left(self, rows_written, rotations):
        """Every kept file whole: one header, full rows, the numbered ones ROWS_PER_FILE rows each, the
        newest the rows since the last rotation, all in time order with the counters growing."""
        numbered = ["%s.%d" % (HISTORY_FILE, i) for i in range(min(rotations, KEEP), 0, -1)]
        expected_names = set(numbered) | {HISTORY_FILE}
        names = set(os.listdir(PERF_DIR))
        with self.subTest("files left"):
            self.assertEqual(names, expected_names)
        header, previous = None, None
        for name in numbered + [HISTORY_FILE]:
            if name not in names:
                continue
            with self.subTest(file=name):
                whole, file_header, rows = history_rows(name)
                self.assertTrue(whole, "%s does not end with a whole line" % name)
                header = header or file_header
                self.assertEqual(file_header, header, "%s has another header" % name)
                fields = header.split(b",")
                count_column = fields.index(ANTI_MALWARE_COUNT)
                expected_rows = ROWS_PER_FILE if name != HISTORY_FILE else rows_written - rotations * ROWS_PER_FILE
                self.assertEqual(len(rows), expected_rows, "%s: rows" % name)
                for row in rows:
                    self.assertTrue(len(row) == len(fields) and TIMESTAMP.fullmatch(row[0]),
                                    "%s: broken row %r" % (name, row))
                    current = (row[0], int(row[count_column]))
                    if previous:
                        self.assertTrue(current[0] >= previous[0] and current[1] > previous[1],
                                        "%s: row %r does not follow %r" % (name, current, previous))
                    previous = current

    def test_every_run_reads_whole_history_while_the_sampler_writes(self):
        test_started = time.monotonic()
        runs = []
        with PerfDirectory():
            sampler = Sampler()
            try:
                # After the first rotation the history holds more than 12 intervals whatever a run reads.
                sampler.wait_for_rotation(timeout=60)
                for index in range(RUNS):
                    run = Run()
                    runs.append(run)
                    with self.subTest(run=index):
                        self.check_run(run)
                code, summary, failure_lines = sampler.stop()
            finally:
                sampler.kill()
            rotations = sampler.rotations()
            self.assertEqual(code, 0, "sampler exit code")
            self.assertTrue(summary.get("failed_attempts") == "0" and summary.get("failed_operations") == "0"
                            and summary.get("timed_out") == "0", "sampler summary %r" % summary)
            self.assertEqual(failure_lines, [], "the sampler was refused")
            self.assertEqual(int(summary.get("rotations", -1)), len(rotations), "rotation lines and summary disagree")
            self.check_files_left(int(summary.get("rows", 0)), len(rotations))

        def overlaps(run):
            return any(r_begin <= run.end and r_end >= run.begin for r_begin, r_end in rotations)

        with_statistics = sum(1 for run in runs if run.has_statistics())
        saw_rotation = [overlaps(run) for run in runs]
        without_statistics = [i for i, run in enumerate(runs) if not run.has_statistics()]
        seconds = [run.seconds for run in runs]
        print("live sampler: %d runs, %d with statistics, %d saw a rotation (%d of them without statistics); "
              "writer failures %s; %d rotations, %s rows; max write %s us (mean %s), max rotation %s us (mean %s); "
              "collector run mean %.3f s, max %.3f s; test %.0f s" % (
                  len(runs), with_statistics, sum(saw_rotation), len(without_statistics),
                  summary.get("failed_attempts"), len(rotations), summary.get("rows"), summary.get("max_write_us"),
                  summary.get("mean_write_us"), summary.get("max_rotation_us"), summary.get("mean_rotation_us"),
                  sum(seconds) / max(len(seconds), 1), max(seconds, default=0), time.monotonic() - test_started))
        self.assertGreater(with_statistics, 0, "no run had statistics")
        self.assertTrue(any(saw_rotation), "no run overlapped a rotation")
        self.assertEqual([i for i in without_statistics if not saw_rotation[i]], [],
                         "runs without statistics and no rotation")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
