"""The collector as shipped in the release ZIP: its PE header asks the loader for ASLR with high
entropy and for a non-executable stack and heap, it has the relocations ASLR needs, no section is
both writable and executable, its time stamp is the commit's, and it holds no absolute path of
the machine that built it. The build's unstripped collector carries the stack protector, with
the collector's own guard rather than libssp's.

    pe_hardening_test.py ZIP BUILT_EXE SOURCE_DIR BUILD_DIR SOURCE_DATE_EPOCH NM
"""
import os
import re
import struct
import subprocess
import sys
import unittest
import zipfile

ZIP, BUILT_EXE, SOURCE_DIR, BUILD_DIR, EPOCH, NM = sys.argv[1:7]

DLL_CHARACTERISTICS = [("HIGH_ENTROPY_VA", 0x0020), ("DYNAMIC_BASE", 0x0040), ("NX_COMPAT", 0x0100)]
SCN_MEM_EXECUTE, SCN_MEM_WRITE = 0x20000000, 0x80000000
BASE_RELOCATION_DIRECTORY = 5


def shipped_exe():
    with zipfile.ZipFile(ZIP) as archive:
        names = [n for n in archive.namelist() if n.endswith("/CorvexTelemetry.exe")]
        assert len(names) == 1, archive.namelist()
        return archive.read(names[0])


class PeImage:
    def __init__(self, data):
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, self.timestamp, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        if self.magic != 0x20B:
            raise ValueError("not PE32+")
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        directories = struct.unpack_from("<I", data, optional + 108)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(directories)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            raw_name, characteristics = data[table + 40 * i:table + 40 * i + 8], \
                struct.unpack_from("<I", data, table + 40 * i + 36)[0]
            self.sections.append((raw_name.rstrip(b"\0").decode("ascii", "replace"), characteristics))


def printable_strings(data, minimum=6):
    """ASCII and UTF-16LE runs, as `strings -a` and `strings -el` find them."""
    found = [m.group().decode("ascii") for m in re.finditer(rb"[\x20-\x7e]{%d,}" % minimum, data)]
    found += [m.group().decode("utf-16-le") for m in re.finditer(rb"(?:[\x20-\x7e]\x00){%d,}" % minimum, data)]
    return found


# An absolute path to a source or object file: a slash, at least two folders, a C or C++ name.
ABSOLUTE_SOURCE = re.compile(r"(?:^|[\s\"'(=:])/(?:[\w.+-]+/){2,}[\w.+-]+\.(?:c|cc|cpp|cxx|h|hh|hpp|ipp|o|obj)\b")


class ShippedExecutable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = shipped_exe()
        cls.image = PeImage(cls.data)

    def test_header_asks_for_aslr_with_high_entropy_and_no_execution_of_data(self):
        self.assertEqual(self.image.machine, 0x8664, "x86-64")
        for name, bit in DLL_CHARACTERISTICS:
            with self.subTest(name):
                self.assertTrue(self.image.dll_characteristics & bit,
                                "%s missing from DllCharacteristics 0x%04x" % (name, self.image.dll_characteristics))

    def test_relocations_are_there_for_the_loader_to_move_the_image(self):
        # Without them Windows loads a DYNAMIC_BASE image at its preferred address all the same.
        self.assertGreater(len(self.image.directories), BASE_RELOCATION_DIRECTORY)
        self.assertGreater(self.image.directories[BASE_RELOCATION_DIRECTORY][1], 0, "empty base relocation table")

    def test_no_section_is_both_writable_and_executable(self):
        both = [name for name, flags in self.image.sections if flags & SCN_MEM_WRITE and flags & SCN_MEM_EXECUTE]
        self.assertEqual(both, [], [(n, hex(f)) for n, f in self.image.sections])

    def test_time_stamp_is_the_commits(self):
        self.assertEqual(self.image.timestamp, int(EPOCH))

    def test_holds_no_absolute_path_of_the_build_machine(self):
        strings = printable_strings(self.data)
        folders = {SOURCE_DIR.rstrip("/"), BUILD_DIR.rstrip("/")}
        for folder in folders:
            with self.subTest(folder=folder):
                self.assertEqual([s for s in strings if folder in s], [])
        self.assertEqual([s for s in strings if ABSOLUTE_SOURCE.search(s)], [])
        # The throw locations are there, relative to the repository.
        self.assertIn("src/utilities/known_folder_path_locator_win.cpp", strings)


class BuiltExecutable(unittest.TestCase):
    def test_carries_the_stack_protector_with_its_own_guard(self):
        symbols = subprocess.run([NM, BUILT_EXE], check=True, capture_output=True, text=True).stdout
        defined = {line.split()[-1] for line in symbols.splitlines() if len(line.split()) == 3}
        for symbol in ["__stack_chk_fail", "__stack_chk_guard"]:
            with self.subTest(symbol):
                self.assertIn(symbol, defined)
        # src/app/stack_guard_win.cpp, not libssp, whose guard loads the crypto DLLs into every run.
        with open(os.path.splitext(BUILT_EXE)[0] + ".map", encoding="utf-8", errors="replace") as f:
            members = [line.split()[0] for line in f if re.match(r"^\S*libssp[^/]*\.a\(", line)]
        self.assertEqual(members, [])


class Fixtures(unittest.TestCase):
    """The checks above find what they are for."""

    def test_absolute_source_paths_are_found_and_relative_ones_are_not(self):
        for text, found in [("/tmp/rel/a/src/utilities/registry_helper_win.cpp", True),
                            ("file=/home/u/w/src/x.cpp line 3", True),
                            ("src/utilities/registry_helper_win.cpp", False),
                            ("./mingw-w64-libraries/winpthreads/src/rwlock.c", False),
                            ("/usr/lib", False)]:
            with self.subTest(text):
                self.assertEqual(bool(ABSOLUTE_SOURCE.search(text)), found)

    def test_utf16_strings_are_read(self):
        self.assertIn("/tmp/a/b.cpp", printable_strings(b"\0\1" + "/tmp/a/b.cpp".encode("utf-16-le") + b"\0\0"))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
