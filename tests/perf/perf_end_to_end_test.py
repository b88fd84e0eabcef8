#!/usr/bin/env python3
"""The collector under Wine with performance history in the prefix's ProgramData.

    perf_end_to_end_test.py COLLECTOR_EXE TOOLS_DIR SCENARIO

SCENARIO is one of:
  statistics  history in numbered files (column orders, line ends, a boot
              change, a counter restart, broken rows, rows outside the window)
              gives the zelPerfTelemetry entries computed here from the samples
  no_history  no Perf directory, then an empty one: an empty section
  odd_quotes  a history row with an odd number of quotes ends the run

The test removes every file and directory it created in the prefix, also when
it fails, so the tests that share the prefix find it as it was.
"""

import json
import math
import os
import re
import sys
import unittest

COLLECTOR, TOOLS_DIR, SCENARIO = sys.argv[1:4]
sys.path.insert(0, TOOLS_DIR)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import history_writer as hw  # noqa: E402
import wine_harness  # noqa: E402

PROGRAM_DATA = wine_harness.drive_c("ProgramData")
PERF_PARTS = ["Corvex", "Valmere", "Logs", "Perf"]
PERF_DIR = os.path.join(PROGRAM_DATA, *PERF_PARTS)
MINUTE = 60 * hw.TICKS_PER_SECOND
HOUR = 60 * MINUTE


class PrefixHistory:
    """Creates the Perf directory (and whichever parents are missing) and, on
    leaving, removes the files written into it and the directories it made."""

    def __enter__(self):
        self.created = wine_harness.make_directories(PROGRAM_DATA, PERF_PARTS)
        self.files = []
        return self

    def path(self, index):
        path = hw.history_path(PERF_DIR, index)
        self.files.append(path)
        return path

    def __exit__(self, *exc):
        for path in self.files:
            if os.path.exists(path):
                os.remove(path)
        for path in reversed(self.created):
            os.rmdir(path)
        return False


def run_collector():
    """(exit code, stdout, stderr) of one run."""
    return wine_harness.run_windows(COLLECTOR)


# The reference computation, written from the statistics' definition and
# independent of the collector's code.
TIME_ROWS = [("AntiMalwareFilterTime", 1, [2]), ("EventJournalFilterTime", 3, [4]), ("TPFilterTime", 5, [6]),
             ("OrbFilterTime", 7, [8]), ("PinHashTime", 9, [10, 11]), ("PinQixScanTime", 13, [14, 15]),
             ("PinOrbScanTime", 17, [18, 19]), ("PinEJHashTime", 21, [22, 23]), ("HmrOnExecTime", 25, [26]),
             ("HmrOnOpenTime", 27, [28]), ("HmrOnCloseTime", 29, [30])]
SPEED_ROWS = [("PinHashSpeed", 12, [10, 11]), ("PinQixScanSpeed", 16, [14, 15]), ("PinOrbScanSpeed", 20, [18, 19]),
              ("PinEJHashSpeed", 24, [22, 23])]
CACHES = [("pinHashCache", 31, ["Hit", "Miss", "Invalid"]), ("pinQixProp", 35, ["Hit", "Miss", "Invalid"]),
          ("pinOrbProp", 39, ["Hit", "Miss", "Invalid"]), ("pinDecision", 43, ["Hit", "Miss", "Invalid", "Expired"]),
          ("pinEJHashCache", 48, ["Hit", "Miss", "Invalid"])]


def expected_entries(samples):
    """samples: the usable samples in reading order."""
    intervals = []
    for earlier, later in zip(samples, samples[1:]):
        if earlier.values[0] != later.values[0]:
            continue  # another boot
        if any(l < e for e, l in zip(earlier.values[1:], later.values[1:])):
            continue  # the counters restarted
        intervals.append([(l - e) % 2 ** 64 for e, l in zip(earlier.values, later.values)])

    values = {}
    for d in intervals:
        for stem, count, times in TIME_ROWS:
            elapsed = sum(d[t] for t in times) % 2 ** 64
            if d[count]:
                values.setdefault(stem, []).append(float(elapsed) / (float(d[count]) * 10000.0))
        for stem, size, times in SPEED_ROWS:
            elapsed = sum(d[t] for t in times) % 2 ** 64
            if elapsed:
                values.setdefault(stem, []).append((float(d[size]) * 10.0) / float(elapsed))

    metrics = {}
    for stem, xs in values.items():
        if len(xs) < 12:
            continue
        n, s, q = float(len(xs)), 0.0, 0.0
        for x in xs:
            s += x
            q += x * x
        metrics["avg" + stem] = s / n
        variance = (q - (s * s) / n) / (n - 1)
        metrics["stdev" + stem] = math.sqrt(variance) if variance > 0 else 0.0
    if len(intervals) >= 12:
        sums = [0.0] * 52
        for d in intervals:
            for i in range(52):
                sums[i] += float(d[i])
        for name, total, rates in CACHES:
            metrics[name + "Total"] = sums[total]
            if sums[total] != 0.0:
                for offset, rate in enumerate(rates, start=1):
                    metrics[name + rate + "Rate"] = sums[total + offset] * 100.0 / sums[total]
    return sorted(((k, "%.3f" % v) for k, v in metrics.items()), key=lambda kv: kv[0].encode())


class PerfEndToEnd(unittest.TestCase):
    maxDiff = None

    def perf_entries(self, run):
        """The zelPerfTelemetry section's entries as (key, value text), in document order."""
        code, document, err = run
        self.assertEqual(code, 0, "exit code %d, stderr %r" % (code, err))
        self.assertEqual(err, b"", "stderr")
        json.loads(document)  # the whole document stays valid JSON
        match = re.search(rb'\},"zelPerfTelemetry":\{(.*?)\},"zelEventJournalStats":\{', document)
        self.assertIsNotNone(match, "no zelPerfTelemetry section in %r" % document[:300])
        section = match.group(1).decode("ascii")
        if not section:
            return []
        entries = []
        for item in section.split(","):
            m = re.fullmatch(r'"([A-Za-z]+)":(\d+\.\d{3})', item)
            self.assertIsNotNone(m, "entry %r is not a key with a three-decimal value" % item)
            entries.append((m.group(1), m.group(2)))
        return entries

    def test_statistics(self):
        now = hw.now_ticks()
        # 63 samples 20 minutes apart; the first three lie a day and more back,
        # before the window, and would chain on to the fourth if they were used.
        samples = list(hw.generate_samples(63, now - 10 * MINUTE, 20 * MINUTE, seed=4, boot_changes=[30],
                                           counter_restarts=[47]))
        for i, hours_back in enumerate([25.0, 24.75, 24.5]):
            samples[i].timestamp = now - int(hours_back * HOUR)
        reversed_columns = hw.Layout("reversed", extra_columns=3, line_ending="\r\n")
        shuffled = hw.Layout("shuffled", extra_columns=10, line_ending="\r\n", seed=11)
        with PrefixHistory() as history:
            # File 2 starts before the window, so file 3 is never opened: reading
            # it would end the run.
            with open(history.path(3), "w", newline="") as broken:
                broken.write("timestamp,x\n\"2020-01-01T00:00:00.000Z,1\n")
            hw.write_history_file(history.path(2), samples[0:20], hw.Layout("canonical", 0, "\n"))
            hw.write_history_file(history.path(1), samples[20:40], reversed_columns)
            hw.write_history_file(history.path(0), samples[40:],
                                  shuffled,
                                  broken_rows={2: "short", 5: "after_now", 9: "non_numeric", 12: "empty",
                                               15: "bad_timestamp", 18: "long", 23: "after_now"},
                                  now=now, unterminated_tail=True)
            entries = self.perf_entries(run_collector())

        expected = expected_entries(samples[3:])
        keys = [k for k, _ in entries]
        self.assertEqual(keys, sorted(keys, key=lambda k: k.encode()), "keys out of byte order")
        self.assertGreaterEqual(len(entries), 40, "only %d entries: %s" % (len(entries), entries))
        self.assertEqual(entries, expected, "entries differ")
        print("%d entries as computed, e.g. %s" % (len(entries), entries[:3]))

    def test_no_history(self):
        self.assertFalse(os.path.exists(PERF_DIR), "the prefix already holds %s" % PERF_DIR)
        self.assertEqual(self.perf_entries(run_collector()), [], "entries without a Perf directory")
        with PrefixHistory():
            self.assertEqual(self.perf_entries(run_collector()), [], "entries with an empty Perf directory")

    def test_odd_quotes(self):
        now = hw.now_ticks()
        samples = list(hw.generate_samples(20, now - MINUTE, MINUTE))
        with PrefixHistory() as history:
            hw.write_history_file(history.path(0), samples, broken_rows={10: "odd_quotes"}, now=now)
            code, out, err = run_collector()
        self.assertEqual(code, 1, "exit code")
        self.assertEqual(out, b"", "stdout")
        self.assertEqual(err, b"odd number of quotes in CSV row\r\n", "stderr")


if __name__ == "__main__":
    # One scenario per ctest entry.
    unittest.main(argv=[sys.argv[0], "PerfEndToEnd.test_" + SCENARIO], verbosity=2)
