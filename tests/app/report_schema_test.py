"""The report schema against changed copies of the no-product document: what it must refuse and
what it must accept. Runs with Debian's python3-jsonschema."""
import copy
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import schema_check  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
U64_MAX = 18446744073709551615

STEMS = ["AntiMalwareFilterTime", "EventJournalFilterTime", "TPFilterTime", "OrbFilterTime", "PinHashTime",
         "PinHashSpeed", "PinQixScanTime", "PinQixScanSpeed", "PinOrbScanTime", "PinOrbScanSpeed", "PinEJHashTime",
         "PinEJHashSpeed", "HmrOnExecTime", "HmrOnOpenTime", "HmrOnCloseTime"]
CACHES = {"pinHashCache": ["HitRate", "MissRate", "InvalidRate"], "pinQixProp": ["HitRate", "MissRate", "InvalidRate"],
          "pinOrbProp": ["HitRate", "MissRate", "InvalidRate"],
          "pinDecision": ["HitRate", "MissRate", "InvalidRate", "ExpiredRate"],
          "pinEJHashCache": ["HitRate", "MissRate", "InvalidRate"]}


def no_product_document():
    with open(os.path.join(DATA, "no_product_document.txt"), "rb") as f:
        return json.loads(f.read().replace(b"@TIME@", b"133480512000000000"))


def totals(value=0.0):
    return {cache + "Total": value for cache in CACHES}


def full_perf():
    """Every one of the 51 names, as a day of busy history gives them."""
    entries = {}
    for stem in STEMS:
        entries["avg" + stem], entries["stdev" + stem] = 1.25, 0.5
    for cache, rates in CACHES.items():
        entries[cache + "Total"] = 4096.0
        entries.update({cache + rate: 25.0 for rate in rates})
    return entries


def members(section, **changes):
    def change(document):
        document[section].update(changes)
    return change


def drop(*path):
    def change(document):
        target = document
        for name in path[:-1]:
            target = target[name]
        del target[path[-1]]
    return change


def rename(section, new_name):
    def change(document):
        renamed = {(new_name if k == section else k): v for k, v in document.items()}
        document.clear()
        document.update(renamed)
    return change


def perf(entries):
    def change(document):
        document["zelPerfTelemetry"] = entries
    return change


def only(entries, *names):
    return {name: entries[name] for name in names}


# (what, change, valid, a text every problem list must contain when invalid)
CASES = [
    ("the no-product document", lambda d: None, True, None),
    ("a counter at 2^64 - 1", members("zelPinnedScans", TotalPinnedScans=U64_MAX), True, None),
    ("free-form minifilter members", members("zelMinifilterInformation", a=1, b={"c": [None, "x"]}), True, None),
    ("every performance name", perf(full_perf()), True, None),
    ("totals alone, rates absent with no lookups", perf(totals()), True, None),
    ("one pair and the totals", perf(dict(totals(12.0), avgTPFilterTime=0.001, stdevTPFilterTime=0.0)), True, None),
    ("a version with quotes and backslashes", members("zelVersion", ZelDriver='10.8 "\\beta"'), True, None),

    ("a missing counter key", drop("zelPinnedScans", "TotalPinnedScans"), False, "'TotalPinnedScans' is a required"),
    ("a missing instance key", drop("zelEventJournalIndexedStats", "THREAD", "WriteErrors"), False, "'WriteErrors'"),
    ("a missing instance", drop("zelEventJournalIndexedStats", "REGISTRY"), False, "'REGISTRY' is a required"),
    ("a misspelt section", rename("zelORBScans", "zelOrbScans"), False, "'zelOrbScans' was unexpected"),
    ("a missing section", drop("zelPerfTelemetry"), False, "'zelPerfTelemetry' is a required"),
    ("an extra counter key", members("zelQIXScans", QixNumRemoteScans=1), False, "'QixNumRemoteScans' was unexpected"),
    ("an extra instance", members("zelEventJournalIndexedStats", NETWORK={}), False, "'NETWORK' was unexpected"),
    ("a counter of 2^64", members("zelScanTypes", TotalOrbScanArchiveMsgs=U64_MAX + 1), False, "maximum"),
    ("a negative counter", members("zelScanTypes", TotalOrbScanArchiveMsgs=-1), False, "minimum"),
    ("a fractional counter", members("zelBootPinnedScans", BootPinnedScans=1.5), False, "'integer'"),
    ("a counter as text", members("zelBootPinnedScans", BootPinnedScans="1"), False, "'integer'"),
    ("a counter as a boolean", members("zelEventJournal", EJEnabled=True), False, "'integer'"),
    ("a flag as a number", members("tamperProtection", zelEnabled=0), False, "'boolean'"),
    ("a version as a number", members("zelVersion", ZelService=10), False, "'string'"),
    ("a version with a control character", members("zelVersion", HmrService="10.8\t1"), False, "does not match"),
    ("a negative current time", members("TimeStamp", **{"Current Time": -1}), False, "minimum"),
    ("an unknown performance name", perf(dict(totals(), avgScanTime=1.0)), False, "'avgScanTime' was unexpected"),
    ("a performance name in another case", perf(dict(totals(), AvgTPFilterTime=1.0)), False, "was unexpected"),
    ("a performance value as text", perf(dict(totals(), avgTPFilterTime="1.000", stdevTPFilterTime=0.0)), False,
     "'number'"),
    ("a negative performance value", perf(dict(totals(), avgTPFilterTime=-0.5, stdevTPFilterTime=0.0)), False,
     "minimum"),
    ("a mean without its deviation", perf(dict(totals(), avgHmrOnOpenTime=1.0)), False, "'stdevHmrOnOpenTime'"),
    ("a pair without the totals", perf({"avgTPFilterTime": 1.0, "stdevTPFilterTime": 0.0}), False,
     "'pinHashCacheTotal'"),
    ("a rate without its total", perf(only(full_perf(), "pinDecisionHitRate", "pinDecisionMissRate",
                                           "pinDecisionInvalidRate", "pinDecisionExpiredRate")), False,
     "'pinDecisionTotal'"),
    ("rates of a cache in part", perf(dict(totals(9.0), pinOrbPropHitRate=50.0)), False, "'pinOrbPropMissRate'"),
    ("one total alone", perf({"pinQixPropTotal": 0.0}), False, "'pinHashCacheTotal'"),
    ("the minifilter section as text", lambda d: d.update(zelMinifilterInformation="x"), False, "'object'"),
]


class ReportSchema(unittest.TestCase):
    def test_cases(self):
        base = no_product_document()
        for what, change, valid, expected in CASES:
            with self.subTest(what):
                document = copy.deepcopy(base)
                change(document)
                found = schema_check.problems(json.dumps(document).encode())
                if valid:
                    self.assertEqual(found, [])
                else:
                    self.assertTrue(found, "accepted")
                    self.assertTrue(any(expected in p for p in found), found)

    def test_text_that_is_no_single_json_value_is_refused(self):
        text = json.dumps(no_product_document())
        for what, document, expected in [
            ("a trailing comma in a section", text.replace('"IgnoreORB": 0}', '"IgnoreORB": 0,}'), "not a JSON"),
            ("a member twice", text.replace('"EJEnabled": 0', '"EJEnabled": 0, "EJEnabled": 1'), "twice"),
            ("NaN as a value", text.replace('"EJEnabled": 0', '"EJEnabled": NaN'), "not a JSON number"),
            ("bytes that are not UTF-8", text.replace('"ZelDriver": ""', '"ZelDriver": "\udcff"'), "not a JSON"),
            ("two documents", text + text, "not a JSON"),
        ]:
            with self.subTest(what):
                self.assertNotEqual(document, text)
                data = document.encode("utf-8", "surrogateescape")
                found = schema_check.problems(data)
                self.assertTrue(any(expected in p for p in found), found)

    def test_the_command_line_tells_valid_from_invalid_by_exit_code(self):
        valid = json.dumps(no_product_document()).encode()
        with tempfile.TemporaryDirectory() as folder:
            paths = {}
            for name, data in [("valid.json", valid.replace(b"}", b"}\r\n", 1)),
                               ("invalid.json", valid.replace(b'"TotalPinnedScans": 0, ', b""))]:
                paths[name] = os.path.join(folder, name)
                with open(paths[name], "wb") as f:
                    f.write(data)
            script = os.path.join(os.path.dirname(schema_check.__file__), "schema_check.py")
            for arguments, code, text in [
                ([paths["valid.json"]], 0, b"valid.json: valid"),
                ([paths["valid.json"], paths["invalid.json"]], 1, b"invalid.json: /zelPinnedScans: 'TotalPinnedScans'"),
                (["--schema", os.path.join(folder, "missing.json"), paths["valid.json"]], 2, b""),
            ]:
                run = subprocess.run([sys.executable, script, *arguments], capture_output=True)
                self.assertEqual(run.returncode, code, run)
                self.assertIn(text, run.stdout)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
