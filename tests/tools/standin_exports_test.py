"""The pdh.dll stand-in exports exactly the PDH functions the collector imports, by name."""
import re
import subprocess
import sys
import unittest

OBJDUMP, COLLECTOR, STANDIN = sys.argv[1:4]


def dump(binary):
    return subprocess.run([OBJDUMP, "-p", binary], check=True, capture_output=True, text=True).stdout


def imports(binary):
    """{dll name in lower case: [function names]} from the import tables."""
    table, current = {}, None
    for line in dump(binary).splitlines():
        if "DLL Name:" in line:
            current = table.setdefault(line.split("DLL Name:")[1].strip().lower(), [])
        elif current is not None:
            match = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
            if match:
                current.append(match.group(1))
            elif not line.strip():
                current = None
    return table


def exports(binary):
    text = dump(binary)
    table = text.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
    return re.findall(r"\[\s*\d+\]\s+(\S+)", table)


class StandinExports(unittest.TestCase):
    def test_exports_are_the_collectors_pdh_imports(self):
        wanted = sorted(imports(COLLECTOR)["pdh.dll"])
        self.assertEqual(wanted, ["PdhAddEnglishCounterA", "PdhCloseQuery", "PdhCollectQueryData",
                                  "PdhGetRawCounterValue", "PdhOpenQueryA"])
        self.assertEqual(sorted(exports(STANDIN)), wanted)

    def test_the_standin_needs_only_system_dlls_and_never_itself(self):
        self.assertEqual(sorted(imports(STANDIN)), ["kernel32.dll", "msvcrt.dll"])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
