"""The demo endpoint: the run command's document is complete, valid against the report schema,
and shows every source of a day-old installation (versions, flags, telemetry.log, statistics,
non-zero counters)."""
import json
import os
import subprocess
import sys
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tests"))
import schema_check  # noqa: E402

COLLECTOR, STANDIN, PREFIX = sys.argv[1:4]


class DemoEndpoint(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        result = subprocess.run(
            [sys.executable, os.path.join(ROOT, "tools", "demo_endpoint.py"), COLLECTOR, STANDIN, PREFIX],
            stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
        assert result.returncode == 0, result.stderr.decode(errors="replace")
        raw, _, indented = result.stdout.partition(b"\n\n")
        cls.raw, cls.indented = raw, indented

    def test_document_is_valid_against_the_schema(self):
        self.assertEqual(schema_check.problems(self.raw), [])

    def test_indented_copy_is_the_same_document(self):
        self.assertEqual(json.loads(self.indented), json.loads(self.raw))

    def test_every_source_of_an_installed_endpoint_shows(self):
        document = json.loads(self.raw)
        self.assertEqual(document["zelVersion"]["ZelDriver"], "10.8.4.1")
        self.assertTrue(document["tamperProtection"]["orbTpEnabled"])
        self.assertEqual(document["zelMinifilterInformation"]["attachedVolumes"], 3)
        # A full day with every statistic fed: all 51 entries.
        self.assertEqual(len(document["zelPerfTelemetry"]), 51)
        self.assertGreater(document["zelPinnedScans"]["TotalPinnedScans"], 0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
