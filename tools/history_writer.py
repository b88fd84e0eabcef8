#!/usr/bin/env python3
"""Writes performance history directories the way the product's sampler does.

The sampler appends one CSV row per sample to "ZelPerformance.csv" and rolls
older rows over into "ZelPerformance.csv.1", ".2" and so on (the higher the
number, the older the rows). Each file starts with a header: "timestamp", then
the counter columns in whatever order the sampler's counter list has, among
them the 52 the collector reads and others it ignores.

Used as a module by the tests, the demo and the benchmarks, and as a command:

    history_writer.py DIR --rows 86400 --step-seconds 1 --files 3 --order shuffled

Only the standard library; rows are built from a pool of precomputed counter
increments so a day of one-second samples (about 65 MB) takes seconds.
"""

import argparse
import datetime
import os
import random
import sys
from dataclasses import dataclass
from typing import Dict, Iterable, Iterator, List, Optional, Sequence

HISTORY_FILE = "ZelPerformance.csv"
TICKS_PER_MILLISECOND = 10_000
TICKS_PER_SECOND = 10_000_000
TICKS_PER_DAY = 86_400 * TICKS_PER_SECOND
FILETIME_EPOCH = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)

# The 52 columns the collector reads, by column id.
PERF_COLUMNS = [
    "\\Corvex.ZEL driver state\\Boot timestamp",
    "\\Corvex.ZEL performance(General: Anti-malware file system callback)\\Total count",
    "\\Corvex.ZEL performance(General: Anti-malware file system callback)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Event Journal file system callback)\\Total count",
    "\\Corvex.ZEL performance(General: Event Journal file system callback)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Tamper Protection file system callback)\\Total count",
    "\\Corvex.ZEL performance(General: Tamper Protection file system callback)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: ORB file system callback)\\Total count",
    "\\Corvex.ZEL performance(General: ORB file system callback)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned hashing)\\Total count",
    "\\Corvex.ZEL performance(General: Pinned hashing)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned hash disk IO)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned hashing)\\Total size (bytes)",
    "\\Corvex.ZEL performance(General: Pinned QIX request)\\Total count",
    "\\Corvex.ZEL performance(General: Pinned QIX request)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned QIX disk IO)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned QIX request)\\Total size (bytes)",
    "\\Corvex.ZEL performance(General: Pinned ORB request)\\Total count",
    "\\Corvex.ZEL performance(General: Pinned ORB request)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned ORB disk IO)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned ORB request)\\Total size (bytes)",
    "\\Corvex.ZEL performance(General: Pinned EDR hashing)\\Total count",
    "\\Corvex.ZEL performance(General: Pinned EDR hashing)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned EDR hashing disk IO)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Pinned EDR hashing)\\Total size (bytes)",
    "\\Corvex.ZEL performance(General: Pinned HMR request)\\Total count",
    "\\Corvex.ZEL performance(General: Pinned HMR request)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: JIT on open HMR request)\\Total count",
    "\\Corvex.ZEL performance(General: JIT on open HMR request)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: JIT on close HMR request)\\Total count",
    "\\Corvex.ZEL performance(General: JIT on close HMR request)\\Total elapsed time",
    "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Total",
    "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Hits",
    "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Misses",
    "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Invalidated",
    "\\Corvex.ZEL caching(Pinned QIX properties)\\Total",
    "\\Corvex.ZEL caching(Pinned QIX properties)\\Hits",
    "\\Corvex.ZEL caching(Pinned QIX properties)\\Misses",
    "\\Corvex.ZEL caching(Pinned QIX properties)\\Invalidated",
    "\\Corvex.ZEL caching(Pinned ORB properties)\\Total",
    "\\Corvex.ZEL caching(Pinned ORB properties)\\Hits",
    "\\Corvex.ZEL caching(Pinned ORB properties)\\Misses",
    "\\Corvex.ZEL caching(Pinned ORB properties)\\Invalidated",
    "\\Corvex.ZEL caching(Pinned decision)\\Total",
    "\\Corvex.ZEL caching(Pinned decision)\\Hits",
    "\\Corvex.ZEL caching(Pinned decision)\\Misses",
    "\\Corvex.ZEL caching(Pinned decision)\\Invalidated",
    "\\Corvex.ZEL caching(Pinned decision)\\Expired",
    "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Total",
    "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Hits",
    "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Misses",
    "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Invalidated",
]
assert len(PERF_COLUMNS) == 52

# Counters the sampler also records and the collector ignores.
EXTRA_COLUMNS = [
    "\\Corvex.ZEL driver state\\Driver version",
    "\\Corvex.ZEL performance(General: Registry callback)\\Total count",
    "\\Corvex.ZEL performance(General: Registry callback)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Process notify)\\Total count",
    "\\Corvex.ZEL performance(General: Process notify)\\Total elapsed time",
    "\\Corvex.ZEL performance(General: Image load notify)\\Total count",
    "\\Corvex.ZEL performance(General: Image load notify)\\Total elapsed time",
    "\\Corvex.ZEL caching(Pinned decision)\\Evicted",
    "\\Corvex.ZEL Event Journal stats\\Total queued",
    "\\Corvex.ZEL Event Journal stats\\Free space",
]

# The operations of the performance columns: (count, elapsed, disk IO, size)
# column ids, None where the operation has no such counter.
OPERATIONS = [
    (1, 2, None, None), (3, 4, None, None), (5, 6, None, None), (7, 8, None, None),
    (9, 10, 11, 12), (13, 14, 15, 16), (17, 18, 19, 20), (21, 22, 23, 24),
    (25, 26, None, None), (27, 28, None, None), (29, 30, None, None),
]
# The caches: (total, [partial columns]) column ids.
CACHES = [(31, [32, 33, 34]), (35, [36, 37, 38]), (39, [40, 41, 42]), (43, [44, 45, 46, 47]), (48, [49, 50, 51])]


def ticks_from_datetime(moment: datetime.datetime) -> int:
    delta = moment - FILETIME_EPOCH
    return (delta.days * 86_400 + delta.seconds) * TICKS_PER_SECOND + delta.microseconds * 10


def now_ticks() -> int:
    return ticks_from_datetime(datetime.datetime.now(datetime.timezone.utc))


def format_timestamp(ticks: int) -> str:
    """YYYY-MM-DDTHH:MM:SS.mmmZ; ticks below a millisecond are dropped."""
    moment = FILETIME_EPOCH + datetime.timedelta(microseconds=ticks // 10)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (moment.microsecond // 1000)


def timestamp_ticks(ticks: int) -> int:
    """The ticks a sample written at ticks reads back as (millisecond precision)."""
    return ticks - ticks % TICKS_PER_MILLISECOND


@dataclass
class Sample:
    timestamp: int  # FILETIME ticks
    values: List[int]  # 52 counter values by column id; values[0] is the boot timestamp


def _increment_pool(rng: random.Random, size: int) -> List[List[int]]:
    """Counter growth of one sampling step: counts, times that fit them, sizes
    that fit the times, and cache lookups split into hits, misses and the rest."""
    pool = []
    for _ in range(size):
        step = [0] * 52
        for count, elapsed, disk_io, size_column in OPERATIONS:
            n = rng.randint(0, 400) if rng.random() < 0.9 else 0
            step[count] = n
            step[elapsed] = n * rng.randint(2_000, 200_000)  # 0.2 to 20 ms each
            if disk_io is not None:
                step[disk_io] = n * rng.randint(0, 50_000)
            if size_column is not None:
                step[size_column] = (step[elapsed] + (step[disk_io] or 0)) * rng.randint(1, 400) // 10
        for total, parts in CACHES:
            lookups = rng.randint(0, 5_000) if rng.random() < 0.85 else 0
            step[total] = lookups
            hits = rng.randint(0, lookups)
            step[parts[0]] = hits
            rest = lookups - hits
            for column in parts[1:]:
                step[column] = rng.randint(0, rest)
                rest -= step[column]
        pool.append(step)
    return pool


def generate_samples(count: int, end_ticks: int, step_ticks: int = 60 * TICKS_PER_SECOND, seed: int = 1,
                     boot_changes: Iterable[int] = (), counter_restarts: Iterable[int] = ()) -> Iterator[Sample]:
    """Samples oldest first, the last one at end_ticks, step_ticks apart.

    boot_changes: sample indices at which a new boot begins (a new boot
    timestamp, counters from near zero). counter_restarts: indices at which the
    driver's counters restart within the same boot (reloaded without a reboot).
    """
    rng = random.Random(seed)
    pool = _increment_pool(rng, 257)
    boot_changes = set(boot_changes)
    counter_restarts = set(counter_restarts)
    first = end_ticks - (count - 1) * step_ticks
    boot = first - rng.randint(1, 30) * TICKS_PER_DAY
    # Counters have been running for a while before the first sample.
    values = [boot] + [rng.randint(0, 10 ** 12) for _ in range(51)]
    for i in range(count):
        now = first + i * step_ticks
        if i in boot_changes:
            boot = now - rng.randint(1, 600) * TICKS_PER_SECOND
            values = [boot] + [0] * 51
        elif i in counter_restarts:
            values = [boot] + [0] * 51
        elif i > 0:
            step = pool[(i * 31) % len(pool)]
            values = [v + d for v, d in zip(values, step)]
        yield Sample(now, values)


# Broken rows the sampler, a crash or a disk can leave behind; all of them
# but "odd_quotes" are skipped by the reader, "odd_quotes" ends the run.
BROKEN_ROWS = ("short", "long", "bad_timestamp", "after_now", "non_numeric", "empty", "odd_quotes")


@dataclass
class Layout:
    """Which header the sampler writes: column order and extra columns."""
    order: str = "canonical"  # canonical, reversed or shuffled
    extra_columns: int = len(EXTRA_COLUMNS)
    line_ending: str = "\r\n"
    seed: int = 7

    def columns(self) -> List[str]:
        """The header after "timestamp": perf column ids (int) and extra names (str)."""
        ids: List = list(range(52))
        if self.order == "reversed":
            ids.reverse()
        elif self.order == "shuffled":
            random.Random(self.seed).shuffle(ids)
        elif self.order != "canonical":
            raise ValueError("unknown column order: " + self.order)
        rng = random.Random(self.seed + 1)
        for extra in range(self.extra_columns):
            name = EXTRA_COLUMNS[extra % len(EXTRA_COLUMNS)]
            if extra >= len(EXTRA_COLUMNS):
                name += " #%d" % extra
            ids.insert(rng.randint(0, len(ids)), name)
        return ids


class _RowFormatter:
    def __init__(self, layout: Layout):
        self.columns = layout.columns()
        self.header = ",".join(["timestamp"] + [PERF_COLUMNS[c] if isinstance(c, int) else c for c in self.columns])
        # Where each column's value comes from: a perf column id, or for an
        # extra column a counter of its own derived from perf column 1 + k.
        self.sources = []
        extra_index = 0
        for c in self.columns:
            if isinstance(c, int):
                self.sources.append(c)
            else:
                self.sources.append(52 + extra_index % 51)
                extra_index += 1

    def row(self, sample: Sample) -> str:
        values = sample.values
        extras = [v // 3 for v in values[1:]]
        return format_timestamp(sample.timestamp) + "," + ",".join(
            [str(values[s]) if s < 52 else str(extras[s - 52]) for s in self.sources])

    def broken(self, kind: str, sample: Sample, now: int) -> str:
        good = self.row(sample)
        if kind == "short":
            return good[:good.rindex(",")]
        if kind == "long":
            return good + ",0"
        if kind == "bad_timestamp":
            return good.replace("T", " ", 1)
        if kind == "after_now":
            return format_timestamp(now + TICKS_PER_DAY) + good[24:]
        if kind == "non_numeric":
            fields = good.split(",")
            fields[1 + self.sources.index(1)] += ".5"
            return ",".join(fields)
        if kind == "empty":
            return ""
        if kind == "odd_quotes":
            return '"' + good
        raise ValueError("unknown broken row: " + kind)


def write_history_file(path: str, samples: Iterable[Sample], layout: Layout = Layout(),
                       broken_rows: Optional[Dict[int, str]] = None, now: int = 0,
                       unterminated_tail: bool = False) -> int:
    """One history file: the header, then a row per sample. broken_rows maps a
    position among the samples to a broken row written just before it (the
    position len(samples) puts it at the end). Returns the rows written."""
    broken_rows = broken_rows or {}
    formatter = _RowFormatter(layout)
    ending = layout.line_ending
    written = 0
    last = None
    with open(path, "w", encoding="ascii", newline="") as out:
        out.write(formatter.header + ending)
        lines = []
        for i, sample in enumerate(samples):
            if i in broken_rows:
                lines.append(formatter.broken(broken_rows[i], sample, now))
            lines.append(formatter.row(sample))
            written += 1
            last = sample
            if len(lines) >= 4096:
                out.write(ending.join(lines) + ending)
                lines = []
        if written in broken_rows and last is not None:
            lines.append(formatter.broken(broken_rows[written], last, now))
        if lines:
            out.write(ending.join(lines) + ending)
        if unterminated_tail and last is not None:
            # A row the sampler has not finished writing yet.
            out.write(formatter.row(last)[:-3])
    return written


def history_path(directory: str, index: int) -> str:
    return os.path.join(directory, HISTORY_FILE if index == 0 else "%s.%d" % (HISTORY_FILE, index))


def write_history(directory: str, samples: Sequence[Sample], files: int = 1, layout: Layout = Layout(),
                  broken_rows: Optional[Dict[int, str]] = None, now: int = 0) -> List[str]:
    """Splits samples (oldest first) into files parts: the newest part goes to
    ZelPerformance.csv, older parts to .1, .2, ... broken_rows maps a sample
    index to a broken row written just before it. Returns the paths, index 0 first."""
    os.makedirs(directory, exist_ok=True)
    broken_rows = broken_rows or {}
    per_file = -(-len(samples) // files)
    paths = []
    for part in range(files):
        begin = part * per_file
        chunk = samples[begin:begin + per_file]
        index = files - 1 - part
        local_broken = {i - begin: kind for i, kind in broken_rows.items() if begin <= i < begin + len(chunk)}
        write_history_file(history_path(directory, index), chunk, layout, local_broken, now)
        paths.append(history_path(directory, index))
    return list(reversed(paths))


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("directory")
    parser.add_argument("--rows", type=int, default=1440)
    parser.add_argument("--step-seconds", type=float, default=60.0)
    parser.add_argument("--end-ago-seconds", type=float, default=60.0,
                        help="how long before now the newest sample lies")
    parser.add_argument("--now-ticks", type=int, default=None, help="now as FILETIME ticks (default: the clock)")
    parser.add_argument("--files", type=int, default=1)
    parser.add_argument("--order", choices=["canonical", "reversed", "shuffled"], default="shuffled")
    parser.add_argument("--extra-columns", type=int, default=len(EXTRA_COLUMNS))
    parser.add_argument("--line-ending", choices=["crlf", "lf"], default="crlf")
    parser.add_argument("--boot-change", type=int, action="append", default=[], help="sample index of a new boot")
    parser.add_argument("--counter-restart", type=int, action="append", default=[],
                        help="sample index at which the counters restart within the boot")
    parser.add_argument("--broken", action="append", default=[], metavar="INDEX:KIND",
                        help="a broken row before sample INDEX; KIND is one of " + ", ".join(BROKEN_ROWS))
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args(argv)

    now = args.now_ticks if args.now_ticks is not None else now_ticks()
    end = now - int(args.end_ago_seconds * TICKS_PER_SECOND)
    samples = list(generate_samples(args.rows, end, int(args.step_seconds * TICKS_PER_SECOND), args.seed,
                                    args.boot_change, args.counter_restart))
    broken = {}
    for item in args.broken:
        index, kind = item.split(":", 1)
        if kind not in BROKEN_ROWS:
            parser.error("unknown broken row kind: " + kind)
        broken[int(index)] = kind
    layout = Layout(args.order, args.extra_columns, "\r\n" if args.line_ending == "crlf" else "\n", args.seed)
    for path in write_history(args.directory, samples, args.files, layout, broken, now):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
