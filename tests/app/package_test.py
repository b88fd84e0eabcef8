"""What ships. `cmake --install` puts the collector, the report schema, the README, the
third-party notices and the SPDX document under the prefix; the release ZIP, which the build
makes (target `release_zip`, part of the default build: a stripped install into a fresh folder,
packed by packaging/release_zip.py), holds the same five files in one top folder, and the
packaged collector runs under Wine and prints a document its packaged schema accepts."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import schema_check  # noqa: E402
import wine_harness  # noqa: E402

CMAKE, BUILD, SOURCE, ZIP = sys.argv[1:5]
SHIPPED = {"CorvexTelemetry.exe", "README.md", "schema/report.schema.json", "THIRD-PARTY-NOTICES.txt",
           "CorvexTelemetry.spdx.json"}


def source_bytes(name):
    with open(os.path.join(SOURCE, name), "rb") as f:
        return f.read()


class Package(unittest.TestCase):
    def setUp(self):
        self.temporary = tempfile.mkdtemp(prefix="corvex-package-")
        self.addCleanup(shutil.rmtree, self.temporary, True)

    def check_shipped(self, files):
        """files: {name relative to the package root: bytes}."""
        self.assertEqual(set(files), SHIPPED)
        for name in ["README.md", "schema/report.schema.json"]:
            self.assertEqual(files[name], source_bytes(name), name)
        self.assertEqual(files["CorvexTelemetry.exe"][:2], b"MZ")
        self.assertTrue(files["THIRD-PARTY-NOTICES.txt"].startswith(b"Third-party notices for CorvexTelemetry.exe"))
        self.assertEqual(json.loads(files["CorvexTelemetry.spdx.json"])["spdxVersion"], "SPDX-2.3")

    def test_install_puts_the_five_files_under_the_prefix(self):
        prefix = os.path.join(self.temporary, "prefix")
        subprocess.run([CMAKE, "--install", BUILD, "--prefix", prefix], check=True, capture_output=True)
        files = {}
        for folder, _, names in os.walk(prefix):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, prefix).replace(os.sep, "/")] = f.read()
        self.check_shipped(files)

    def test_zip_holds_the_five_files_and_its_collector_runs(self):
        top = os.path.basename(ZIP)[:-len(".zip")]
        self.assertRegex(top, r"^CorvexTelemetry-\d+\.\d+\.\d+-win64$")
        with zipfile.ZipFile(ZIP) as archive:
            entries = [e for e in archive.infolist() if not e.is_dir()]
            self.assertTrue(all(e.filename.startswith(top + "/") for e in entries), [e.filename for e in entries])
            self.check_shipped({e.filename[len(top) + 1:]: archive.read(e) for e in entries})

            # Unpacked as a user would, into a folder of its own on drive C.
            folder = wine_harness.drive_c("package-test")
            shutil.rmtree(folder, ignore_errors=True)
            self.addCleanup(shutil.rmtree, folder, True)
            archive.extractall(folder)
        unpacked = os.path.join(folder, top)
        code, out, err = wine_harness.run_windows("C:\\package-test\\%s\\CorvexTelemetry.exe" % top)
        self.assertEqual(code, 0, err)
        schema = os.path.join(unpacked, "schema", "report.schema.json")
        self.assertEqual(schema_check.problems(out, schema_path=schema), [])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
