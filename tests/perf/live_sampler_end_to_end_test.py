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
import subprocess
import sys
import threading
import time

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

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        if len(failures) <= 20:
            print("FAIL: " + message, file=sys.stderr)
    return condition


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
        environment = dict(os.environ, WINEDEBUG="-all")
        self.process = subprocess.Popen(
            [os.environ["WINE_EXEC"], SAMPLER, PERF_DIR_WINDOWS, "--rows-per-file", str(ROWS_PER_FILE),
             "--keep", str(KEEP), "--tick-ms", str(TICK_MS), "--max-seconds", "600"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment)
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
                exited = self.process.poll() is not None
                raise AssertionError("the sampler made no rotation: exit %r, output %r, stderr %r" % (
                    self.process.poll(), self.lines, self.process.stderr.read() if exited else b""))
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


def check_section(run, section):
    """An empty section, or all 51 entries with the stand-in's figures."""
    if not section:
        return False
    if not check(set(section) == ALL_KEYS, "run %d: entries %s" % (run, sorted(set(section) ^ ALL_KEYS))):
        return True
    for key, expected in EXPECTED_FIGURES.items():
        check("%.3f" % section[key] == "%.3f" % expected, "run %d: %s is %r, not %r" % (run, key, section[key], expected))
    first_total = section["pinHashCacheTotal"]
    check(first_total > 0, "run %d: no cache lookups" % run)
    for cache, factor, _ in CACHES:
        check(section[cache + "Total"] == factor * first_total,
              "run %d: %sTotal %r is not %d times %r" % (run, cache, section[cache + "Total"], factor, first_total))
    return True


def run_collector(run):
    """One run; returns (start, end) in FILETIME ticks, whether it had statistics, its seconds."""
    started, begin = time.monotonic(), wine_harness.filetime_now()
    code, out, err = wine_harness.run_windows(COLLECTOR)
    end, seconds = wine_harness.filetime_now(), time.monotonic() - started
    check(code == 0, "run %d: exit code %d, stderr %r" % (run, code, err))
    check(err == b"", "run %d: stderr %r" % (run, err))
    problems = schema_check.problems(out)
    if not check(problems == [], "run %d: %s in %r" % (run, problems[:3], out[:200])):
        return begin, end, False, seconds
    return begin, end, check_section(run, schema_check.parse(out)["zelPerfTelemetry"]), seconds


def history_rows(name):
    """The header and data rows of one file; every line must end in CR LF."""
    with open(os.path.join(PERF_DIR, name), "rb") as f:
        content = f.read()
    check(content.endswith(b"\r\n"), "%s does not end with a whole line" % name)
    lines = content.split(b"\r\n")[:-1]
    return lines[0], [line.split(b",") for line in lines[1:]]


def check_files_left(rows_written, rotations):
    """Every kept file whole: one header, full rows, the numbered ones ROWS_PER_FILE rows each, the
    newest the rows since the last rotation, all in time order with the counters growing."""
    numbered = ["%s.%d" % (HISTORY_FILE, i) for i in range(min(rotations, KEEP), 0, -1)]
    expected_names = set(numbered) | {HISTORY_FILE}
    names = set(os.listdir(PERF_DIR))
    check(names == expected_names, "files left: %s, expected %s" % (sorted(names), sorted(expected_names)))
    header, previous = None, None
    for name in numbered + [HISTORY_FILE]:
        if name not in names:
            continue
        file_header, rows = history_rows(name)
        header = header or file_header
        check(file_header == header, "%s has another header" % name)
        fields = header.split(b",")
        count_column = fields.index(ANTI_MALWARE_COUNT)
        expected_rows = ROWS_PER_FILE if name != HISTORY_FILE else rows_written - rotations * ROWS_PER_FILE
        check(len(rows) == expected_rows, "%s holds %d rows, not %d" % (name, len(rows), expected_rows))
        for row in rows:
            if not check(len(row) == len(fields) and TIMESTAMP.fullmatch(row[0]), "%s: broken row %r" % (name, row)):
                continue
            current = (row[0], int(row[count_column]))
            if previous:
                check(current[0] >= previous[0] and current[1] > previous[1],
                      "%s: row %r does not follow %r" % (name, current, previous))
            previous = current


def main():
    test_started = time.monotonic()
    runs = []
    with PerfDirectory():
        sampler = Sampler()
        try:
            # After the first rotation the history holds more than 12 intervals whatever a run reads.
            sampler.wait_for_rotation(timeout=60)
            for run in range(RUNS):
                runs.append(run_collector(run))
            code, summary, failure_lines = sampler.stop()
        finally:
            sampler.kill()
        rotations = sampler.rotations()
        check(code == 0, "sampler exit code %r" % code)
        check(summary.get("failed_attempts") == "0" and summary.get("failed_operations") == "0"
              and summary.get("timed_out") == "0", "sampler summary %r" % summary)
        check(failure_lines == [], "the sampler was refused: %s" % failure_lines[:10])
        check(int(summary.get("rotations", -1)) == len(rotations), "rotation lines and summary disagree")
        check_files_left(int(summary.get("rows", 0)), len(rotations))

    def overlaps(begin, end):
        return any(r_begin <= end and r_end >= begin for r_begin, r_end in rotations)

    with_statistics = sum(1 for _, _, stats, _ in runs if stats)
    saw_rotation = [overlaps(begin, end) for begin, end, _, _ in runs]
    without_statistics = [i for i, (_, _, stats, _) in enumerate(runs) if not stats]
    check(with_statistics > 0, "no run had statistics")
    check(any(saw_rotation), "no run overlapped a rotation")
    check(all(saw_rotation[i] for i in without_statistics),
          "runs without statistics and no rotation: %s" % [i for i in without_statistics if not saw_rotation[i]])
    seconds = [s for _, _, _, s in runs]
    print("live sampler: %d runs, %d with statistics, %d saw a rotation (%d of them without statistics); "
          "writer failures %s; %d rotations, %s rows; max write %s us (mean %s), max rotation %s us (mean %s); "
          "collector run mean %.3f s, max %.3f s; test %.0f s" % (
              len(runs), with_statistics, sum(saw_rotation), len(without_statistics),
              summary.get("failed_attempts"), len(rotations), summary.get("rows"), summary.get("max_write_us"),
              summary.get("mean_write_us"), summary.get("max_rotation_us"), summary.get("mean_rotation_us"),
              sum(seconds) / max(len(seconds), 1), max(seconds, default=0), time.monotonic() - test_started))
    if failures:
        print("%d failures" % len(failures), file=sys.stderr)
        return 1
    print("live sampler end to end: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
