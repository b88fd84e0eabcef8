"""Packs a staged folder into a ZIP that depends on nothing but the files' names and bytes.

    release_zip.py --epoch SECONDS [--install CMAKE BUILD PREFIX] STAGE OUTPUT.zip

--install first empties STAGE and runs `CMAKE --install BUILD --strip --prefix PREFIX` (PREFIX
inside STAGE), showing its output only when it fails.

Every regular file under STAGE goes in under its path relative to STAGE (the ZIP's top folder is
STAGE's child), in byte order of the paths, with no directory entries and no extra fields. Each
entry's time is SOURCE_DATE_EPOCH in UTC (1980-01-01 at the earliest, where ZIP's dates begin),
its mode 0644 (0755 for an .exe), and it is deflated at level 9 by this Python's zlib: run it with
Debian's /usr/bin/python3 so the compressed bytes are the same on every build machine.
"""
import argparse
import os
import shutil
import stat
import subprocess
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01T00:00:00Z


def entries(stage):
    found = []
    for folder, dirs, names in os.walk(stage):
        dirs.sort()
        for name in names:
            path = os.path.join(folder, name)
            if not stat.S_ISREG(os.lstat(path).st_mode):
                raise SystemExit("not a regular file: %s" % path)
            found.append(os.path.relpath(path, stage).replace(os.sep, "/"))
    return sorted(found, key=lambda n: n.encode("utf-8"))


def write(stage, output, epoch):
    stamp = time.gmtime(max(epoch, DOS_EPOCH))[:6]
    partial = output + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in entries(stage):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so the mode below is what unzip applies
            info.external_attr = (stat.S_IFREG | (0o755 if name.endswith(".exe") else 0o644)) << 16
            with open(os.path.join(stage, name), "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    os.replace(partial, output)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("--install", nargs=3, metavar=("CMAKE", "BUILD", "PREFIX"))
    parser.add_argument("stage")
    parser.add_argument("output")
    args = parser.parse_args()
    if args.install:
        cmake, build, prefix = args.install
        shutil.rmtree(args.stage, ignore_errors=True)
        result = subprocess.run([cmake, "--install", build, "--strip", "--prefix", prefix],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            sys.stdout.write(result.stdout)
            return result.returncode
    write(args.stage, args.output, args.epoch)
    return 0


if __name__ == "__main__":
    sys.exit(main())
