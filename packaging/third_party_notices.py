"""Writes the third-party notices of the collector, and the same facts as JSON for its SPDX
document, from what this machine built it with:

- the files the link took, from the linker's map (archive members and objects), and the Boost
  headers the sources include, from the compiler (-M);
- the Debian package that owns each of them (dpkg), its version, and its copyright file;
- the versions the compiler saw: GCC's own, MinGW-w64's and Boost's version macros.

    third_party_notices.py --link-map MAP --compiler CXX --boost-root DIR --sources SRC
                           --notices OUT.txt --components OUT.json

A file outside the build tree that no package owns, or a package no component below claims, stops
the build: the notices then need a new component. Nothing but paths under /usr and the packages'
own texts go into the output, so it is the same in any build folder.
"""
import argparse
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import debian_copyright  # noqa: E402

GCC_EXCEPTION = "GPL-3.0-or-later WITH GCC-exception-3.1"


class Component:
    """name, spdx_ref, which owned files belong to it (Debian source package, file name pattern),
    and how its notice and licence come out of the copyright file."""

    def __init__(self, name, spdx_ref, source, files=r".", version_macro=None, licence=None,
                 must_mention=(), common_licences=(), folders=(), excluded=(), headers=False):
        self.name, self.spdx_ref = name, spdx_ref
        self.source, self.files = re.compile(source), re.compile(files)
        self.version_macro = version_macro
        self.licence, self.must_mention, self.common_licences = licence, must_mention, common_licences
        self.folders, self.excluded, self.headers = folders, excluded, headers


# Most specific first: a file belongs to the first component whose patterns match it.
COMPONENTS = [
    # Debian's GCC copyright file is not machine-readable: the licence of the runtime libraries
    # is stated here, checked against the file, and the GPL's text comes from common-licenses.
    Component("GCC runtime libraries", "SPDXRef-Package-gcc-runtime",
              source=r"^gcc-mingw-w64$", version_macro="gcc", licence=GCC_EXCEPTION,
              must_mention=("GCC RUNTIME LIBRARY EXCEPTION", "Version 3.1, 31 March 2009",
                            "/usr/share/common-licenses/GPL-3"),
              common_licences=("GPL-3",)),
    Component("winpthreads", "SPDXRef-Package-winpthreads", source=r"^mingw-w64$", files=r"libwinpthread",
              version_macro="mingw", folders=("mingw-w64-libraries/winpthreads/",),
              excluded=("mingw-w64-libraries/winpthreads/tests",)),
    # The C runtime start-up, its support library and the import libraries of the system DLLs.
    Component("MinGW-w64 runtime", "SPDXRef-Package-mingw-w64-runtime", source=r"^mingw-w64$",
              version_macro="mingw", folders=("mingw-w64-crt/",)),
    Component("Boost", "SPDXRef-Package-boost", source=r"^boost[0-9.]+$", version_macro="boost", headers=True),
]


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def linked_files(map_path):
    """{absolute path: names of its members in the link} for the archives with a member in the
    link and the objects loaded (no members)."""
    files = {}
    section = None
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("Archive member included"):
                section = "members"
            elif line.startswith(("Discarded input sections", "Memory Configuration", "Allocating common")):
                section = None
            elif section == "members":
                member = re.match(r"^(/\S*?\.a)\(([^)]+)\)", line)
                if member:
                    files.setdefault(member.group(1), set()).add(member.group(2))
            if line.startswith("LOAD /") and not line.rstrip().endswith(".a"):
                files.setdefault(line[5:].strip(), set())
    return files


def included_boost_headers(compiler, boost_root, sources):
    """The Boost headers the shipped sources include, directly or not, as the compiler finds them."""
    includes = set()
    for folder, _, names in os.walk(sources):
        for name in names:
            if name.endswith((".cpp", ".h")):
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    includes.update(re.findall(r"^\s*#\s*include\s*<(boost/[^>]+)>", f.read(), re.M))
    probe = "".join("#include <%s>\n" % i for i in sorted(includes))
    depends = run([compiler, "-std=c++17", "-M", "-isystem", boost_root, "-x", "c++", "-"], input=probe)
    headers = set()
    for path in depends.replace("\\\n", " ").split()[1:]:
        real = os.path.realpath(path)
        if "/boost/" in real:
            headers.add(real)
    return sorted(headers)


def upstream(debian_version):
    """'12.2.0-14+deb12u1+25.2+b1' -> '12.2.0', '1.74.0+ds1-21' -> '1.74.0'."""
    version = debian_version.split(":", 1)[-1].rsplit("-", 1)[0]
    return re.sub(r"[+~](?:dfsg|ds)[0-9.]*$", "", version)


def versions_seen(compiler, boost_root, facts):
    """The versions built with: MinGW-w64's and Boost's from their version macros; GCC's from its
    package, since Debian's MinGW-w64 GCC calls itself "12-posix" (__GNUC_MINOR__ 0), checked
    against the compiler's major version."""
    probe = "#include <_mingw.h>\n#include <boost/version.hpp>\n"
    macros = dict(re.findall(r"^#define (\w+) (.*)$",
                             run([compiler, "-dM", "-E", "-isystem", boost_root, "-x", "c++", "-"], input=probe), re.M))
    boost = int(macros["BOOST_VERSION"])
    gcc = {upstream(p["version"]) for p in facts.values() if p["source"] == "gcc-mingw-w64"}
    if len(gcc) > 1 or any(v.split(".")[0] != macros["__GNUC__"] for v in gcc):
        raise SystemExit("GCC packages %s, compiler %s" % (sorted(gcc), macros["__VERSION__"]))
    return {
        "gcc": gcc.pop() if gcc else None,
        "mingw": "%s.%s.%s" % (macros["__MINGW64_VERSION_MAJOR"], macros["__MINGW64_VERSION_MINOR"],
                               macros["__MINGW64_VERSION_BUGFIX"]),
        "boost": "%d.%d.%d" % (boost // 100000, boost // 100 % 1000, boost % 100),
    }


def owners(paths):
    """{path: Debian package} for every path dpkg knows."""
    found = {}
    result = subprocess.run(["dpkg-query", "-S"] + paths, capture_output=True, text=True)
    for line in result.stdout.splitlines():
        if line.startswith("diversion ") or ": " not in line:
            continue
        packages, path = line.split(": ", 1)
        found[path] = packages.split(",")[0].strip().split(":")[0]
    return found


def package_facts(packages):
    fields = "${Package}\\t${Architecture}\\t${Version}\\t${source:Package}\\n"
    facts = {}
    for line in run(["dpkg-query", "-W", "-f=" + fields] + sorted(packages)).splitlines():
        name, arch, version, source = line.split("\t")
        facts[name] = {"package": name, "architecture": arch, "version": version, "source": source}
    return facts


def copyright_of(package):
    path = "/usr/share/doc/%s/copyright" % package
    with open(path, encoding="utf-8") as f:
        return path, f.read()


def describe(component, files, facts, versions):
    """The component's notice text and facts. files: the owned files it claimed."""
    packages = sorted({package for _, package in files})
    copyright_files = {}
    for package in packages:
        path, text = copyright_of(package)
        copyright_files.setdefault(os.path.realpath(path), (path, text))
    if len(copyright_files) != 1:
        raise SystemExit("%s: expected one copyright file, found %s" % (component.name, sorted(copyright_files)))
    path, text = next(iter(copyright_files.values()))
    parsed = debian_copyright.CopyrightFile(text)
    extracted = {}
    if component.licence:
        missing = [m for m in component.must_mention if m not in text]
        if missing:
            raise SystemExit("%s: %s no longer mentions %s" % (component.name, path, missing))
        notice, licence, scope = text, component.licence, "whole file"
        common = component.common_licences
    else:
        if not parsed.machine_readable:
            raise SystemExit("%s: %s is not machine-readable; state its licence here" % (component.name, path))
        if component.headers:
            used = sorted({f.split("/include/", 1)[1] for f, _ in files})
            paragraphs = []
            for header in used:
                paragraph = parsed.last_match(header)
                if paragraph is None:
                    raise SystemExit("%s: no paragraph of %s covers %s" % (component.name, path, header))
                if paragraph not in paragraphs:
                    paragraphs.append(paragraph)
            paragraphs.sort(key=parsed.paragraphs.index)
            scope = "the paragraphs that cover the %d headers used" % len(used)
        else:
            paragraphs = parsed.covering_folders(component.folders, component.excluded)
            scope = "the paragraphs that cover %s" % ", ".join(component.folders)
        notice, texts = parsed.notice(paragraphs)
        ids = []
        for name, body in sorted(texts.items()):
            identifier = debian_copyright.spdx_id(name)
            if identifier.startswith("LicenseRef-"):
                extracted[identifier] = {"name": name, "text": body}
            ids.append(identifier)
        licence = " AND ".join(sorted(set(ids)))
        common = re.findall(r"/usr/share/common-licenses/([A-Za-z0-9.+-]*[A-Za-z0-9+])", notice)
    # Debian keeps the texts of common licences apart; a notice that points there carries them.
    notice = notice.rstrip("\n") + "\n"
    for name in sorted(set(common)):
        with open("/usr/share/common-licenses/" + name, encoding="utf-8") as f:
            notice += "\n%s\n/usr/share/common-licenses/%s:\n\n%s" % ("-" * 78, name, f.read())
    return {
        "name": component.name,
        "spdx_ref": component.spdx_ref,
        "version": versions[component.version_macro],
        "licence": licence,
        "debian_packages": [facts[p] for p in packages],
        "files": sorted({os.path.basename(f) for f, _ in files}) if not component.headers else [],
        "copyright_file": path,
        "copyright_scope": scope,
        "extracted_licences": extracted,
    }, notice


def claim(owned, facts):
    """{component name: [(path, package)]}, every owned file in exactly one component.
    owned: {(path, package): archive members linked}."""
    claimed = {}
    for (path, package), members in sorted(owned.items()):
        source = facts[package]["source"]
        label = " ".join([path] + sorted(members))
        component = next((c for c in COMPONENTS if c.source.search(source) and c.files.search(label)
                          and c.headers == path.endswith((".h", ".hpp", ".ipp"))), None)
        if component is None:
            raise SystemExit("%s (Debian package %s, source %s) is in the collector, but no component of "
                             "packaging/third_party_notices.py claims it" % (path, package, source))
        claimed.setdefault(component.name, []).append((path, package))
    return claimed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--link-map", required=True)
    parser.add_argument("--compiler", required=True)
    parser.add_argument("--boost-root", required=True)
    parser.add_argument("--sources", required=True)
    parser.add_argument("--notices", required=True)
    parser.add_argument("--components", required=True)
    args = parser.parse_args()

    # Each file with what identifies it: winpthreads is also linked as libpthread.a.
    files = linked_files(args.link_map)
    files.update({h: set() for h in included_boost_headers(args.compiler, args.boost_root, args.sources)})
    real = {f: os.path.realpath(f) for f in files}
    owned_by = owners(sorted(set(real.values())))
    unowned = sorted(f for f in files if real[f] not in owned_by)
    if unowned:
        raise SystemExit("no Debian package owns %s" % unowned)
    owned = {}
    for f, members in files.items():
        owned.setdefault((real[f], owned_by[real[f]]), set()).update(members)
    facts = package_facts({package for _, package in owned})
    claimed = claim(owned, facts)
    versions = versions_seen(args.compiler, args.boost_root, facts)

    described = [describe(c, claimed[c.name], facts, versions) for c in COMPONENTS if c.name in claimed]
    with open(args.components, "w", encoding="utf-8") as f:
        json.dump([d for d, _ in described], f, indent=1, sort_keys=True)
        f.write("\n")
    with open(args.notices, "w", encoding="utf-8", newline="\n") as f:
        f.write(HEADER)
        for d, _ in described:
            f.write("  %s %s: %s\n" % (d["name"], d["version"], d["licence"]))
        for d, notice in described:
            f.write("\n" + "=" * 78 + "\n")
            f.write("Component: %s\n" % d["name"])
            f.write("Version: %s\n" % d["version"])
            f.write("License: %s\n" % d["licence"])
            for p in d["debian_packages"]:
                f.write("Debian package: %s %s (%s)\n" % (p["package"], p["version"], p["architecture"]))
            if d["files"]:
                f.write("Linked from: %s\n" % ", ".join(d["files"]))
            f.write("Copyright file: %s (%s)\n" % (d["copyright_file"], d["copyright_scope"]))
            f.write("=" * 78 + "\n\n")
            f.write(notice.rstrip("\n") + "\n")
    return 0


HEADER = """Third-party notices for CorvexTelemetry.exe

CorvexTelemetry.exe is linked statically with the runtime libraries below and is compiled with
Boost's headers. Each section names the component, the version it was built with, its licence
(an SPDX expression), the Debian packages it came from, and then the text of their copyright file
as installed on the build machine.

Components:
"""

if __name__ == "__main__":
    sys.exit(main())
