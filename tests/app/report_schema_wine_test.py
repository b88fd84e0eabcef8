"""Real documents of the collector under Wine are valid reports: with nothing of the product
installed, and with the pdh.dll stand-in publishing the demo's counters."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import schema_check  # noqa: E402
import standin_harness  # noqa: E402
import wine_harness  # noqa: E402

COLLECTOR, STANDIN_DLL, SAMPLE = sys.argv[1:4]


class RealDocuments(unittest.TestCase):
    def test_no_product_document_is_valid(self):
        code, out, err = wine_harness.run_windows(COLLECTOR)
        self.assertEqual(code, 0, err)
        self.assertEqual(schema_check.problems(out), [])

    def test_document_over_the_demo_counters_is_valid(self):
        with open(SAMPLE) as f:
            sample = f.read()
        with standin_harness.standin_folder(COLLECTOR, STANDIN_DLL, "standin-schema") as folder:
            code, out, err = folder.run(sample)
        self.assertEqual(code, 0, err)
        self.assertIn(b'"TimeStamp":{"BootTimestamp":134412757300000000,', out)
        self.assertEqual(schema_check.problems(out), [])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
