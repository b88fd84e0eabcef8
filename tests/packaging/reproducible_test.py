"""The release ZIP is built again bit for bit: two clean clones of the repository's committed
HEAD, in two folders of different depth, each configured with the windows preset and built to the
ZIP alone (the collector, its notices and SPDX document; CORVEX_TESTS=OFF), the second with the
clock 400 days ahead (libfaketime), another time zone, umask and locale. The two ZIPs must be the
same bytes; when they are not, diffoscope says where.

It builds HEAD as committed: uncommitted changes in the working tree are not what it builds.

    reproducible_test.py SOURCE_DIR [WORK_DIR]

WORK_DIR (default: a temporary folder) holds the clones; it is removed when the ZIPs agree and
kept for a look when they do not.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

SOURCE_DIR = sys.argv[1]
WORK_DIR = sys.argv[2] if len(sys.argv) > 2 else None

# What differs between the two builds besides the folder. The zone without tzdata: 14 h east.
VARIANTS = [
    {"wrapper": [], "env": {"TZ": "UTC", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}, "umask": 0o022},
    {"wrapper": ["faketime", "-f", "+400d"], "env": {"TZ": "XST-14", "LANG": "C", "LC_ALL": "C"}, "umask": 0o077},
]


def git(*args, cwd=SOURCE_DIR):
    return subprocess.run(["git"] + list(args), cwd=cwd, check=True, capture_output=True, text=True).stdout.strip()


def build(commit, folder, variant):
    """Clones the commit into folder and builds its release ZIP; returns the ZIP's path."""
    git("clone", "--quiet", "--no-hardlinks", SOURCE_DIR, folder)
    git("checkout", "--quiet", "--detach", commit, cwd=folder)
    env = {k: v for k, v in os.environ.items() if k not in ("SOURCE_DATE_EPOCH", "CMAKE_BUILD_PARALLEL_LEVEL")}
    env.update(variant["env"])
    steps = [["cmake", "--preset", "windows", "-DCORVEX_TESTS=OFF"],
             ["cmake", "--build", "--preset", "windows", "--target", "release_zip", "--parallel", "2"]]
    for step in steps:
        result = subprocess.run(variant["wrapper"] + step, cwd=folder, env=env, capture_output=True, text=True,
                                preexec_fn=lambda: os.umask(variant["umask"]))
        if result.returncode != 0:
            raise AssertionError("%s in %s failed:\n%s%s" % (" ".join(step), folder, result.stdout[-4000:],
                                                             result.stderr[-4000:]))
    built = os.path.join(folder, "build", "windows")
    zips = [n for n in os.listdir(built) if n.endswith(".zip")]
    assert len(zips) == 1, zips
    return os.path.join(built, zips[0])


def where_they_differ(first, second):
    """diffoscope's account, or failing it the entries that differ."""
    if shutil.which("diffoscope"):
        result = subprocess.run(["diffoscope", "--no-progress", "--text", "-", first, second],
                                capture_output=True, text=True)
        return result.stdout[:20000] + result.stderr[-2000:]
    with zipfile.ZipFile(first) as a, zipfile.ZipFile(second) as b:
        lines = ["entries: %s / %s" % (a.namelist(), b.namelist())]
        for name in sorted(set(a.namelist()) & set(b.namelist())):
            ia, ib = a.getinfo(name), b.getinfo(name)
            if (a.read(name), ia.date_time, ia.external_attr) != (b.read(name), ib.date_time, ib.external_attr):
                lines.append("differs: %s" % name)
        return "\n".join(lines)


class Reproducible(unittest.TestCase):
    def test_two_clean_builds_in_two_folders_at_two_times_give_the_same_zip(self):
        commit = git("rev-parse", "HEAD")
        work = WORK_DIR or tempfile.mkdtemp(prefix="corvex-reproducible-")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        folders = [os.path.join(work, "a"), os.path.join(work, "second", "clone-with-a-longer-name")]
        zips = []
        for folder, variant in zip(folders, VARIANTS):
            start = time.monotonic()
            zips.append(build(commit, folder, variant))
            print("built %s in %s (%.0f s)" % (os.path.basename(zips[-1]), folder, time.monotonic() - start))
        digests = []
        for path in zips:
            with open(path, "rb") as f:
                digests.append(hashlib.sha256(f.read()).hexdigest())
            print("sha256 %s  %s" % (digests[-1], path))
        self.assertEqual(os.path.basename(zips[0]), os.path.basename(zips[1]))
        if digests[0] != digests[1]:
            self.fail("the ZIPs of commit %s differ (kept in %s):\n%s" % (commit, work, where_they_differ(*zips)))
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
