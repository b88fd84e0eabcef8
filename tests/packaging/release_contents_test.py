"""The release ZIP's SPDX document and third-party notices: the document is SPDX 2.3 JSON, lists
every other file of the ZIP with its right SHA-256 and SHA-1, names the collector with its version
and commit, and every component of the notices with the same version and licence; the notices
name the Debian packages that own the libraries the compiler links, at their installed versions,
with the licence texts.

    release_contents_test.py ZIP SOURCE_DIR PROJECT_VERSION COMPILER
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import unittest
import zipfile

ZIP, SOURCE_DIR, PROJECT_VERSION, COMPILER = sys.argv[1:5]
SPDX_NAME = "CorvexTelemetry.spdx.json"
NOTICES_NAME = "THIRD-PARTY-NOTICES.txt"
SPDX_LISTS = "/usr/share/nodejs/spdx-license-ids/index.json", "/usr/share/nodejs/spdx-exceptions/index.json"
ID = re.compile(r"^SPDXRef-[A-Za-z0-9.-]+$")


def read_zip():
    """{name under the top folder: bytes}."""
    with zipfile.ZipFile(ZIP) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        top = names[0].split("/")[0]
        return {n[len(top) + 1:]: archive.read(n) for n in names}


def notice_sections(text):
    """[{Component, Version, License, Debian packages, body}] from the notices' section heads."""
    rule = "=" * 78
    parts = text.split("\n" + rule + "\n")
    sections = []
    for head, body in zip(parts[1::2], parts[2::2]):
        fields = {"Debian package": []}
        for line in head.splitlines():
            name, value = line.split(": ", 1)
            if name == "Debian package":
                fields[name].append(value)
            else:
                fields[name] = value
        fields["body"] = body
        sections.append(fields)
    return sections


def licence_ids(expression):
    return [t for t in re.split(r"[\s()]+", expression) if t and t not in ("AND", "OR", "WITH")]


def expected_product_version():
    result = subprocess.run(["git", "-C", SOURCE_DIR, "rev-parse", "HEAD"], capture_output=True, text=True)
    commit = result.stdout.strip() if result.returncode == 0 else None
    return (PROJECT_VERSION + "+g" + commit[:7] if commit else PROJECT_VERSION + "+unknown"), commit


def owner(path):
    line = subprocess.run(["dpkg-query", "-S", os.path.realpath(path)], check=True, capture_output=True,
                          text=True).stdout.splitlines()[0]
    package = line.split(":")[0]
    version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], check=True, capture_output=True,
                             text=True).stdout
    return package, version


class SpdxDocument(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = read_zip()
        cls.spdx = json.loads(cls.files[SPDX_NAME])
        cls.packages = {p["SPDXID"]: p for p in cls.spdx["packages"]}
        cls.notices = notice_sections(cls.files[NOTICES_NAME].decode("utf-8"))

    def test_document_has_what_spdx_2_3_requires(self):
        d = self.spdx
        self.assertEqual(d["spdxVersion"], "SPDX-2.3")
        self.assertEqual(d["dataLicense"], "CC0-1.0")
        self.assertEqual(d["SPDXID"], "SPDXRef-DOCUMENT")
        self.assertTrue(d["name"])
        self.assertRegex(d["documentNamespace"], r"^https?://[^#\s]+$")
        self.assertRegex(d["creationInfo"]["created"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertTrue(d["creationInfo"]["creators"])
        for creator in d["creationInfo"]["creators"]:
            self.assertRegex(creator, r"^(Person|Organization|Tool): \S")
        ids = [d["SPDXID"]] + [p["SPDXID"] for p in d["packages"]] + [f["SPDXID"] for f in d["files"]]
        self.assertEqual(len(ids), len(set(ids)), "SPDXIDs repeat")
        for identifier in ids:
            self.assertRegex(identifier, ID)
        for p in d["packages"]:
            for field in ["name", "downloadLocation", "versionInfo"]:
                self.assertIn(field, p, p["SPDXID"])
            if p.get("filesAnalyzed", True):
                self.assertIn("packageVerificationCode", p, p["SPDXID"])
        for r in d["relationships"]:
            self.assertIn(r["spdxElementId"], ids, r)
            self.assertIn(r["relatedSpdxElement"], ids, r)
        self.assertIn({"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                       "relatedSpdxElement": "SPDXRef-Package-CorvexTelemetry"}, d["relationships"])

    def test_every_other_file_of_the_zip_is_listed_with_its_hashes(self):
        listed = {}
        for f in self.spdx["files"]:
            self.assertTrue(f["fileName"].startswith("./"), f["fileName"])
            listed[f["fileName"][2:]] = {c["algorithm"]: c["checksumValue"] for c in f["checksums"]}
        # The document cannot hold its own hash: it is the one file left out.
        self.assertEqual(set(listed), set(self.files) - {SPDX_NAME})
        for name, checksums in listed.items():
            with self.subTest(name):
                self.assertEqual(checksums["SHA256"], hashlib.sha256(self.files[name]).hexdigest())
                self.assertEqual(checksums["SHA1"], hashlib.sha1(self.files[name]).hexdigest())

    def test_collector_package_names_version_commit_and_its_files(self):
        collector = self.packages["SPDXRef-Package-CorvexTelemetry"]
        version, commit = expected_product_version()
        self.assertEqual(collector["versionInfo"], version)
        self.assertIn(commit or "unknown", collector["sourceInfo"])
        self.assertEqual(sorted(collector["hasFiles"]), sorted(f["SPDXID"] for f in self.spdx["files"]))
        code = collector["packageVerificationCode"]
        self.assertEqual(code["packageVerificationCodeExcludedFiles"], ["./" + SPDX_NAME])
        sha1s = sorted(hashlib.sha1(data).hexdigest() for name, data in self.files.items() if name != SPDX_NAME)
        self.assertEqual(code["packageVerificationCodeValue"], hashlib.sha1("".join(sha1s).encode()).hexdigest())

    def test_every_component_of_the_notices_is_a_package_with_its_version_and_licence(self):
        self.assertGreaterEqual(len(self.notices), 1)
        by_name = {p["name"]: p for p in self.spdx["packages"]}
        exe = next(f["SPDXID"] for f in self.spdx["files"] if f["fileName"].endswith(".exe"))
        for section in self.notices:
            with self.subTest(section["Component"]):
                package = by_name.get(section["Component"])
                self.assertIsNotNone(package, "not in the SPDX document")
                self.assertEqual(package["versionInfo"], section["Version"])
                self.assertEqual(package["licenseDeclared"], section["License"])
                self.assertIn({"spdxElementId": exe, "relationshipType": "STATIC_LINK",
                               "relatedSpdxElement": package["SPDXID"]}, self.spdx["relationships"])
                for debian in section["Debian package"]:
                    self.assertIn(" ".join(debian.split()[:2]), package["comment"])

    def test_licence_identifiers_are_spdx_listed_or_declared_with_their_text(self):
        listed = set()
        for path in SPDX_LISTS:
            with open(path, encoding="utf-8") as f:
                listed.update(json.load(f))
        declared = {e["licenseId"]: e for e in self.spdx["hasExtractedLicensingInfos"]}
        for p in self.spdx["packages"]:
            for field in ["licenseConcluded", "licenseDeclared"]:
                for identifier in licence_ids(p[field]):
                    with self.subTest(package=p["name"], licence=identifier):
                        if identifier.startswith("LicenseRef-"):
                            self.assertTrue(declared[identifier]["extractedText"].strip())
                        else:
                            self.assertIn(identifier, listed | {"NOASSERTION", "NONE"})


class Notices(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.text = read_zip()[NOTICES_NAME].decode("utf-8")
        cls.sections = notice_sections(cls.text)

    def test_each_library_the_compiler_links_is_covered_at_its_installed_version_with_its_licence(self):
        # Found here the compiler's way (and Boost where the build includes it from), not through
        # the link map the notices are made from.
        gcc = "GCC runtime libraries"
        gcc_licence = "GPL-3.0-or-later WITH GCC-exception-3.1"
        cases = [
            ("libstdc++.a", gcc, gcc_licence, "GCC RUNTIME LIBRARY EXCEPTION"),
            ("libgcc.a", gcc, gcc_licence, "GNU GENERAL PUBLIC LICENSE\n                       Version 3, 29 June 2007"),
            ("libwinpthread.a", "winpthreads", "MIT", "Files: mingw-w64-libraries/winpthreads/*"),
            ("libmingwex.a", "MinGW-w64 runtime", "ZPL-2.1", "Files: *\nCopyright: 2009-2016 the mingw-w64 project"),
            ("/usr/include/boost/version.hpp", "Boost", "BSL-1.0", "Boost Software License - Version 1.0"),
        ]
        sections = {s["Component"]: s for s in self.sections}
        for library, component, licence, text in cases:
            with self.subTest(library):
                path = library if library.startswith("/") else subprocess.run(
                    [COMPILER, "-print-file-name=" + library], check=True, capture_output=True, text=True).stdout.strip()
                package, version = owner(path)
                section = sections[component]
                self.assertIn("%s %s" % (package, version), [" ".join(d.split()[:2]) for d in section["Debian package"]])
                self.assertIn(licence, licence_ids(section["License"]) + [section["License"]])
                self.assertIn(text, section["body"])

    def test_carries_no_path_of_the_build(self):
        self.assertNotIn(SOURCE_DIR.rstrip("/"), self.text)
        self.assertNotIn(os.path.dirname(os.path.abspath(ZIP)), self.text)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
