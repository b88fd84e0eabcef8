"""The unchanged collector under Wine with the pdh.dll stand-in: what a machine without the driver
cannot show. Values in every section, values with the top bit set, a counter missing from a set that
is there, a value status, a missing instance and a missing set."""
import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import standin_harness  # noqa: E402
import wine_harness  # noqa: E402

COLLECTOR, STANDIN_DLL, COUNTER_PATHS, SAMPLE = sys.argv[1:5]

with open(COUNTER_PATHS) as f:
    PATHS = f.read().splitlines()

# Raw values whose top bit is set, as the file may spell them, and as the document must print them.
TOP_BIT = {
    "\\Corvex.ZEL driver state\\Tamper-protection enabled": ("-1", 18446744073709551615),
    "\\Corvex.ZEL pinned scan stats\\Total pinned scans": ("0x8000000000000000", 9223372036854775808),
    "\\Corvex.ZEL Event Journal indexed stats(REGISTRY)\\Total number of files":
        ("18446744073709551614", 18446744073709551614),
}


def distinct_values():
    """A different non-zero value for every counter, so a value read for the wrong key shows."""
    values = {}
    for index, path in enumerate(PATHS):
        text, value = TOP_BIT.get(path, (None, 1000003 * (index + 1) + index))
        values[path] = (text or str(value), value)
    return values


def counter_file(values, cstatus=None, leave_out=()):
    lines = ["# written by %s" % os.path.basename(__file__)]
    for path in PATHS:
        if path in leave_out:
            continue
        status = " cstatus=%s" % cstatus[path] if cstatus and path in cstatus else ""
        lines.append("%s = %s%s" % (path, values[path][0], status))
    return "\n".join(lines) + "\n"


class WithTheStandin(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder_context = standin_harness.standin_folder(COLLECTOR, STANDIN_DLL, "standin-end-to-end")
        cls.folder = cls.folder_context.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.folder_context.__exit__(None, None, None)

    def run_collector(self, counters):
        code, out, err = self.folder.run(counters, debug_output=True)
        self.assertEqual(code, 0, err[-2000:])
        return out, json.loads(out), wine_harness.debug_strings(err)

    def reads(self, document):
        """{counter path: value} through the document's layout."""
        members = [m for section in standin_harness.counter_sections(document) for m in section]
        self.assertEqual(len(members), len(PATHS))
        return {path: value for path, (_, value) in zip(PATHS, members)}

    def test_every_counter_reads_its_own_value_in_every_section(self):
        values = distinct_values()
        out, document, debug = self.run_collector(counter_file(values))
        self.assertEqual(debug, [])
        self.assertEqual(self.reads(document), {path: value for path, (_, value) in values.items()})
        for section in standin_harness.counter_sections(document):
            self.assertTrue(all(value != 0 for _, value in section), section)
        # Printed as plain unsigned decimals, not signed, not as floating point.
        for needle in [b'"TPEnabled":18446744073709551615,', b'"TotalPinnedScans":9223372036854775808,',
                       b'"FilesOnDisk":18446744073709551614}}}']:
            self.assertIn(needle, out)

    def test_missing_counters_instances_and_value_statuses_read_zero_and_are_named(self):
        values = distinct_values()
        missing_counter = "\\Corvex.ZEL pinned scan stats\\Total pinned cached 'block' hits"
        missing_instance = [p for p in PATHS if "indexed stats(PROCESS)\\" in p]
        missing_set = [p for p in PATHS if p.startswith("\\Corvex.ZEL communication stats for ORB\\")]
        statuses = {
            "\\Corvex.ZEL Event Journal stats\\Total number of events queued": "0x00000001",  # new data counts too
            "\\Corvex.ZEL Event Journal indexed stats(THREAD)\\Write errors seen while writing events": "0xC0000BBA",
        }
        self.assertEqual((len(missing_instance), len(missing_set)), (13, 9))
        left_out = {missing_counter, *missing_instance, *missing_set}
        _, document, debug = self.run_collector(counter_file(values, statuses, left_out))

        expected = {path: value for path, (_, value) in values.items()}
        expected.update({path: 0 for path in [*left_out, *statuses]})
        self.assertEqual(self.reads(document), expected)
        self.assertEqual(document["zelEventJournalIndexedStats"]["PROCESS"],
                         dict.fromkeys(document["zelEventJournalIndexedStats"]["THREAD"], 0))

        # One query per section: its failed adds first, then its values' statuses, by JSON key.
        messages, start = [], 0
        for section in standin_harness.counter_sections(document):
            paths = PATHS[start:start + len(section)]
            start += len(section)
            for path in paths:
                if path in left_out:
                    code = "c0000bb9" if path == missing_counter else "c0000bb8"
                    messages.append("PdhAddEnglishCounter %s error: %s\n" % (path, code))
            for path, (key, _) in zip(paths, section):
                if path in statuses:
                    messages.append("PdhGetRawCounterValue %s cerror: %08x\n" % (key, int(statuses[path], 16)))
        self.assertEqual(len(messages), 1 + 13 + 9 + 2)
        self.assertIn("PdhGetRawCounterValue TotalQueued cerror: 00000001\n", messages)
        self.assertIn("PdhGetRawCounterValue WriteErrors cerror: c0000bba\n", messages)
        self.assertEqual(debug, messages)

    def test_the_demo_sample_publishes_every_counter_cleanly(self):
        with open(SAMPLE) as f:
            sample = f.read()
        published = {}
        for line in sample.splitlines():
            if line.strip() and not line.startswith("#"):
                path, value = line.rsplit("=", 1)
                published[path.strip()] = int(value, 0)
        _, document, debug = self.run_collector(sample)
        self.assertEqual(debug, [])
        self.assertEqual(self.reads(document), published)
        for section in standin_harness.counter_sections(document):
            self.assertTrue(any(value != 0 for _, value in section), section)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
