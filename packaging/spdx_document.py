"""Writes the SPDX 2.3 JSON document of an installed collector: the collector package (its
version and commit), the files installed with their SHA-256 and SHA-1, and each third-party
component (from third_party_notices.py) with its version, licence and Debian packages.

    spdx_document.py --root PREFIX --output NAME --components COMPONENTS.json
                     --version 1.0.0+g1a2b3c4 --commit HASH --epoch SECONDS FILE...

FILE: every file the install wrote (absolute, under PREFIX). The document cannot hold its own
hash: it lists every other file, and leaves itself out of the package verification code too, as
SPDX provides (packageVerificationCodeExcludedFiles). Its time of creation is the commit's, and its
namespace is derived from version and commit, so the same commit gives the same document.
"""
import argparse
import hashlib
import json
import os
import sys
import time
import urllib.parse
import uuid

NAMESPACE_ROOT = "https://spdx.corvex.invalid/CorvexTelemetry/"
COLLECTOR = "SPDXRef-Package-CorvexTelemetry"


def digests(path):
    with open(path, "rb") as f:
        data = f.read()
    return hashlib.sha256(data).hexdigest(), hashlib.sha1(data).hexdigest()


def file_ref(name):
    return "SPDXRef-File-" + "".join(c if c.isalnum() or c in ".-" else "-" for c in name)


def purl(package):
    version = urllib.parse.quote(package["version"], safe="")
    return "pkg:deb/debian/%s@%s?arch=%s" % (package["package"], version, package["architecture"])


def document(root, output, components, version, commit, epoch, installed):
    # A file installed twice is in the manifest twice.
    names = sorted({os.path.relpath(p, root).replace(os.sep, "/") for p in installed})
    names = [n for n in names if n != output]
    if any(n.startswith("../") for n in names):
        raise SystemExit("installed outside the prefix: %s" % [n for n in names if n.startswith("../")])
    files = []
    sha1s = []
    for name in names:
        sha256, sha1 = digests(os.path.join(root, name))
        sha1s.append(sha1)
        files.append({
            "fileName": "./" + name,
            "SPDXID": file_ref(name),
            "checksums": [{"algorithm": "SHA256", "checksumValue": sha256},
                          {"algorithm": "SHA1", "checksumValue": sha1}],
            "fileTypes": ["BINARY"] if name.endswith(".exe") else ["DOCUMENTATION" if name.endswith((".md", ".txt"))
                                                                   else "TEXT"],
            "licenseConcluded": "NOASSERTION",
            "copyrightText": "NOASSERTION",
        })
    # SPDX 2.3, clause 7.9: SHA-1 of the sorted SHA-1s of the package's files, concatenated.
    verification = hashlib.sha1("".join(sorted(sha1s)).encode("ascii")).hexdigest()
    packages = [{
        "name": "CorvexTelemetry",
        "SPDXID": COLLECTOR,
        "versionInfo": version,
        "supplier": "Organization: Corvex",
        "downloadLocation": "NOASSERTION",
        "sourceInfo": "built from commit %s" % commit,
        "filesAnalyzed": True,
        "packageVerificationCode": {"packageVerificationCodeValue": verification,
                                    "packageVerificationCodeExcludedFiles": ["./" + output]},
        "licenseConcluded": "NOASSERTION",
        "licenseDeclared": "NOASSERTION",
        "copyrightText": "NOASSERTION",
        "primaryPackagePurpose": "APPLICATION",
        "hasFiles": [f["SPDXID"] for f in files],
    }]
    relationships = [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                      "relatedSpdxElement": COLLECTOR}]
    extracted = {}
    exe = [f["SPDXID"] for f in files if f["fileName"].endswith(".exe")]
    for c in components:
        packages.append({
            "name": c["name"],
            "SPDXID": c["spdx_ref"],
            "versionInfo": c["version"],
            "supplier": "Organization: Debian",
            "downloadLocation": "NOASSERTION",
            "filesAnalyzed": False,
            "licenseConcluded": c["licence"],
            "licenseDeclared": c["licence"],
            "copyrightText": "NOASSERTION",
            "primaryPackagePurpose": "LIBRARY",
            "comment": "From the Debian packages %s; licence from %s (%s)." % (
                ", ".join("%s %s" % (p["package"], p["version"]) for p in c["debian_packages"]),
                c["copyright_file"], c["copyright_scope"]),
            "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                              "referenceLocator": purl(p)} for p in c["debian_packages"]],
        })
        # Compiled into the executable: linked statically, or inlined from headers.
        relationships += [{"spdxElementId": e, "relationshipType": "STATIC_LINK", "relatedSpdxElement": c["spdx_ref"]}
                          for e in exe]
        for identifier, licence in c["extracted_licences"].items():
            extracted[identifier] = {"licenseId": identifier, "name": licence["name"],
                                     "extractedText": licence["text"],
                                     "comment": "As Debian's copyright file %s gives it." % c["copyright_file"]}
    return {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": "CorvexTelemetry-%s-win64" % version,
        "documentNamespace": NAMESPACE_ROOT + "%s-%s" % (version, uuid.uuid5(uuid.NAMESPACE_URL, commit + "/" + version)),
        "creationInfo": {
            "created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)),
            "creators": ["Organization: Corvex", "Tool: packaging/spdx_document.py"],
        },
        "documentDescribes": [COLLECTOR],
        "packages": packages,
        "files": files,
        "hasExtractedLicensingInfos": [extracted[k] for k in sorted(extracted)],
        "relationships": relationships,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--output", required=True, help="the document's name under the root")
    parser.add_argument("--components", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--commit", required=True)
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    with open(args.components, encoding="utf-8") as f:
        components = json.load(f)
    spdx = document(args.root, args.output, components, args.version, args.commit, args.epoch, args.files)
    with open(os.path.join(args.root, args.output), "w", encoding="utf-8", newline="\n") as f:
        json.dump(spdx, f, indent=2, sort_keys=False, ensure_ascii=False)
        f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
