"""The collector end to end under Wine, on a machine where nothing of the product exists."""
import json
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
import wine_harness  # noqa: E402

COLLECTOR = sys.argv[1]
DATA = sys.argv[2]


def read(name, mode="r"):
    with open(os.path.join(DATA, name), mode) as f:
        return f.read()


class NoProductMachine(unittest.TestCase):
    def test_document_is_the_whole_frame_byte_for_byte(self):
        before = wine_harness.filetime_now()
        code, out, err = wine_harness.run_windows(COLLECTOR)
        after = wine_harness.filetime_now()
        self.assertEqual(code, 0, err)
        self.assertEqual(err, b"")
        match = re.search(rb'"Current Time": (-?\d+)\}', out)
        self.assertIsNotNone(match, out[:400])
        current = int(match.group(1))
        self.assertLessEqual(before, current)
        self.assertLessEqual(current, after)
        expected = read("no_product_document.txt", "rb").replace(b"@TIME@", match.group(1))
        self.assertEqual(out, expected)
        self.assertFalse(out.endswith(b"\n"))
        document = json.loads(out)
        self.assertEqual(len(document["zelEventJournalIndexedStats"]), 15)

    def test_every_missing_counter_is_named_on_the_debugger_output(self):
        code, _, err = wine_harness.run_windows(COLLECTOR, debug_output=True)
        self.assertEqual(code, 0)
        # Wine publishes no "Corvex.ZEL" set: every add fails with "counter not
        # found", and each collection of an empty query (PDH_NO_DATA) is silent.
        paths = read(os.path.join("..", "..", "counters", "data", "counter_paths.txt")).splitlines()
        expected = ["PdhAddEnglishCounter %s error: c0000bb9\n" % p for p in paths]
        self.assertEqual(wine_harness.debug_strings(err), expected)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
