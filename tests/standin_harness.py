"""Runs the unchanged collector under Wine with the pdh.dll stand-in beside it.

The collector and the stand-in are copied into a folder of their own on the prefix's drive C, and
Wine is told to prefer a pdh.dll found there (pdh=n,b) over its built-in one. The folder is removed
when the `with` block ends, whatever happened in it.
"""
import contextlib
import os
import shutil

import wine_harness

COLLECTOR_NAME = "CorvexTelemetry.exe"
COUNTER_FILE = "pdh_counters.txt"


class StandinFolder:
    def __init__(self, name):
        self.name = name
        self.path = wine_harness.drive_c(name)
        self.windows_path = "C:\\" + name

    def run(self, counters, debug_output=False):
        """Runs the collector over the counter file text; returns (exit code, stdout, stderr)."""
        with open(os.path.join(self.path, COUNTER_FILE), "w", encoding="ascii", newline="\n") as f:
            f.write(counters)
        return wine_harness.run_windows(
            self.windows_path + "\\" + COLLECTOR_NAME,
            debug_output=debug_output,
            env={
                "WINEDLLOVERRIDES": "mscoree,mshtml=;pdh=n,b",
                # Named outright, so a variable in the caller's shell cannot point elsewhere.
                "CORVEX_PDH_COUNTERS": self.windows_path + "\\" + COUNTER_FILE,
            },
        )


@contextlib.contextmanager
def standin_folder(collector, standin_dll, name):
    folder = StandinFolder(name)
    shutil.rmtree(folder.path, ignore_errors=True)
    try:
        os.makedirs(folder.path)
        shutil.copy2(collector, os.path.join(folder.path, COLLECTOR_NAME))
        shutil.copy2(standin_dll, os.path.join(folder.path, "pdh.dll"))
        yield folder
    finally:
        shutil.rmtree(folder.path, ignore_errors=True)


# Members of the report that do not come from a counter.
_NOT_COUNTERS = {
    "zelVersion": None,  # the whole section
    "zelMinifilterInformation": None,
    "zelPerfTelemetry": None,
    "tamperProtection": {"zelEnabled", "ignoreOrb", "orbEnabled", "orbTpEnabled"},
    "TimeStamp": {"Current Time"},
}


def counter_sections(document):
    """The counter members of a parsed report, one list of (key, value) per counter query, in the
    order the collector queries them (the order of tests/counters/data/counter_paths.txt)."""
    sections = []
    for section, body in document.items():
        if section in _NOT_COUNTERS and _NOT_COUNTERS[section] is None:
            continue
        skipped = _NOT_COUNTERS.get(section, set())
        if section == "zelEventJournalIndexedStats":
            sections.extend(list(instance.items()) for instance in body.values())
        else:
            sections.append([(k, v) for k, v in body.items() if k not in skipped])
    return sections
