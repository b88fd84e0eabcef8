#!/usr/bin/env python3
"""End to end: the collector's document carries the versions and flags written
into the test prefix's registry and the head of its telemetry.log, and a run
that finds ProgramData writes no log file.

Arguments: the collector executable, the file_holder executable.
"""
import glob
import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import wine_harness  # noqa: E402

COLLECTOR, HOLDER = sys.argv[1:3]

SERVICES = r"HKLM\SYSTEM\CurrentControlSet\Services"
ZEL_CONFIG = SERVICES + r"\Corvex Valmere\TamperProtection\Config"
ORB = r"HKLM\SOFTWARE\Corvex\ORBService\TamperProtection"
PRODUCT_DIR = wine_harness.drive_c("ProgramData", "Corvex", "Valmere")
TELEMETRY_LOG = os.path.join(PRODUCT_DIR, "telemetry.log")
TELEMETRY_LOG_WINDOWS = r"C:\ProgramData\Corvex\Valmere\telemetry.log"
SECTION_OPENING = b'"zelMinifilterInformation":{'
SECTION_CLOSING = b'},"zelPerfTelemetry":{'


def reg(*args, must_succeed=True):
    code, _, err = wine_harness.run_windows("reg", *args)
    if must_succeed and code != 0:
        raise RuntimeError(f"reg {args} exited {code}: {err!r}")


def remove_registry_keys():
    for service in ("Corvex Valmere", "Corvex Valmere Service", "Corvex Lanthorn Service"):
        reg("delete", SERVICES + "\\" + service, "/f", must_succeed=False)
    for view in ("32", "64"):
        reg("delete", r"HKLM\SOFTWARE\Corvex", "/f", f"/reg:{view}", must_succeed=False)


def remove_files():
    if os.path.exists(TELEMETRY_LOG):
        os.remove(TELEMETRY_LOG)
    for directory in (PRODUCT_DIR, os.path.dirname(PRODUCT_DIR)):
        if os.path.isdir(directory) and not os.listdir(directory):
            os.rmdir(directory)


def log_files():
    return sorted(glob.glob(wine_harness.drive_c("users", "*", "Temp", "Corvex Valmere *.log")))


def write_telemetry_log(content):
    os.makedirs(PRODUCT_DIR, exist_ok=True)
    with open(TELEMETRY_LOG, "wb") as out:
        out.write(content)


class CollectorSources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        remove_registry_keys()
        remove_files()

    def setUp(self):
        self.logs_before = log_files()
        self.wrote_registry = False

    def tearDown(self):
        # Each reg run costs most of a second: the keys go only where a test wrote them.
        if self.wrote_registry:
            remove_registry_keys()
        remove_files()
        self.assertEqual(log_files(), self.logs_before, "a run wrote a log file")

    def reg_add(self, key, name, kind, data, view="64"):
        self.wrote_registry = True
        reg("add", key, "/v", name, "/t", kind, "/d", data, "/f", f"/reg:{view}")

    def collect(self):
        code, out, err = wine_harness.run_windows(COLLECTOR)
        self.assertEqual(code, 0, f"exit code {code}, stderr {err!r}")
        self.assertEqual(err, b"")
        return out

    def minifilter_section(self, document):
        start = document.find(SECTION_OPENING)
        end = document.find(SECTION_CLOSING, start)
        self.assertTrue(start >= 0 and end >= 0, "minifilter section not found")
        return document[start + len(SECTION_OPENING):end]

    def test_installed_product(self):
        self.reg_add(SERVICES + r"\Corvex Valmere", "Version", "REG_SZ", "10.8.4.1")
        self.reg_add(SERVICES + r"\Corvex Valmere Service", "Version", "REG_SZ", '11.0\\beta "2"')
        self.reg_add(SERVICES + r"\Corvex Lanthorn Service", "Version", "REG_EXPAND_SZ", "3.0")
        self.reg_add(ZEL_CONFIG, "ZELEnabled", "REG_DWORD", "1")
        self.reg_add(ZEL_CONFIG, "IgnoreORB", "REG_DWORD", "4294967295")
        self.reg_add(ZEL_CONFIG, "orbEnabled", "REG_DWORD", "0")
        # Only the 64-bit view so far, which the collector does not consult.
        self.reg_add(ORB, "Enabled", "REG_DWORD", "1", view="64")
        write_telemetry_log(b'"a":1')

        document = self.collect()
        expected_start = (b'{"zelVersion":{"ZelDriver":"10.8.4.1","ZelService":"11.0\\\\beta \\"2\\"","HmrService":""},'
                          b'"tamperProtection":{"zelEnabled":true,"ignoreOrb":true,"orbEnabled":false,'
                          b'"orbTpEnabled":false,')
        self.assertTrue(document.startswith(expected_start), f"document begins {document[:300]!r}")
        self.assertIn(b'"zelMinifilterInformation":{"a":1},', document, "telemetry.log member missing")
        parsed = json.loads(document)
        self.assertEqual(parsed["zelVersion"]["ZelService"], '11.0\\beta "2"', "escaped version does not parse back")
        self.assertEqual(parsed["zelMinifilterInformation"], {"a": 1}, "minifilter object does not parse back")

        self.reg_add(ORB, "Enabled", "REG_DWORD", "2", view="32")
        self.assertIn(b'"orbTpEnabled":true,', self.collect(), "ORB flag of the 32-bit view not read")

    def test_telemetry_log_head(self):
        content = bytes(ord("a") + i % 26 for i in range(5000))
        write_telemetry_log(content)
        self.assertEqual(self.minifilter_section(self.collect()), content[:1024], "not exactly the first 1024 bytes")

        # Another process holds the file open for writing and shares nothing.
        holder = wine_harness.start_windows(HOLDER, TELEMETRY_LOG_WINDOWS)
        try:
            ready = holder.stdout.readline()
            self.assertEqual(ready.strip(), b"held", f"holder did not hold the file: {ready!r}")
            self.assertEqual(self.minifilter_section(self.collect()), b"", "section not empty while the file is held")
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
            holder.stdout.close()
        self.assertEqual(self.minifilter_section(self.collect()), content[:1024],
                         "section still empty after the holder ended")

    def test_nothing_installed(self):
        document = self.collect()
        self.assertTrue(document.startswith(
            b'{"zelVersion":{"ZelDriver":"","ZelService":"","HmrService":""},'
            b'"tamperProtection":{"zelEnabled":false,"ignoreOrb":false,"orbEnabled":false,'
            b'"orbTpEnabled":false,'), f"document begins {document[:300]!r}")
        self.assertEqual(self.minifilter_section(document), b"", "section not empty without telemetry.log")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
