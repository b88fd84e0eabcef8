"""The harness tells Wine's own lines from what the program wrote on its standard error: only
Wine's diagnostics are taken out, byte for byte, and the program's debugger output stays."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_harness  # noqa: E402

LOADER = b"err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018\n"
DEBUG_STRING = b'0024:warn:debugstr:OutputDebugStringA "PdhOpenQuery error: 800007d5\\n"\n'


class WineLines(unittest.TestCase):
    def test_program_lines_and_wine_lines_are_told_apart(self):
        # (what, stderr, the program's part, Wine's part)
        cases = [
            ("nothing", b"", b"", b""),
            ("the program's line", b"odd number of quotes in CSV row\r\n", b"odd number of quotes in CSV row\r\n", b""),
            ("the loader's failure before any thread", LOADER, b"", LOADER),
            ("an error with a thread id", b"0024:err:module:import_dll Library x.dll not found\n", b"",
             b"0024:err:module:import_dll Library x.dll not found\n"),
            ("fixme and warn with process and thread ids",
             b"0020:0024:fixme:ntdll:NtQuerySystemInformation x\n0020:0024:warn:file:CreateFileW y\n", b"",
             b"0020:0024:fixme:ntdll:NtQuerySystemInformation x\n0020:0024:warn:file:CreateFileW y\n"),
            ("the debugger output stays", DEBUG_STRING, DEBUG_STRING, b""),
            ("interleaved, the last line unterminated",
             b"Failed to locate ProgramData directory\r\n" + LOADER + DEBUG_STRING + b"tail",
             b"Failed to locate ProgramData directory\r\n" + DEBUG_STRING + b"tail", LOADER),
            ("Wine's words inside a program line stay", b"note: 0024:err:x:y is quoted\r\n",
             b"note: 0024:err:x:y is quoted\r\n", b""),
            ("a loader message without a class stays", b"wine: could not load kernel32.dll, status c0000135\n",
             b"wine: could not load kernel32.dll, status c0000135\n", b""),
        ]
        for what, stderr, program, wine in cases:
            with self.subTest(what):
                self.assertEqual(wine_harness.split_wine_lines(stderr), (program, wine))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
