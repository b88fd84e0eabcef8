"""The collector imports nothing but Windows system DLLs (it is linked statically)."""
import subprocess
import sys
import unittest

SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "ntdll.dll", "pdh.dll", "advapi32.dll", "shell32.dll",
    "ole32.dll", "oleaut32.dll", "user32.dll", "version.dll",
}

OBJDUMP, EXE = sys.argv[1:3]


class Imports(unittest.TestCase):
    def test_only_windows_system_dlls(self):
        dump = subprocess.run([OBJDUMP, "-p", EXE], check=True, capture_output=True, text=True).stdout
        imports = sorted(line.split("DLL Name:")[1].strip() for line in dump.splitlines() if "DLL Name:" in line)
        print("imports:", ", ".join(imports))
        self.assertTrue(imports, "no imports found")
        self.assertEqual([name for name in imports if name.lower() not in SYSTEM_DLLS], [],
                         "not a Windows system DLL")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
